/// @file helper_library.cpp
/// @brief The helper's own block of an effect library file: the version block, then the
///        seventeen stored age parameters at time 0.
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "setup/helper.h"
#include "setup/library_format.h"
#include "host/interface.h"
#include "host/param_object.h"

#include <cmath>

namespace {

// The record's field table names the age block's parameters by index.
static_assert(kLibraryHelperFields[0].ageParam == NimbraHelper::kLifeBegins);
static_assert(kLibraryHelperFields[1].ageParam == NimbraHelper::kLifeEnds);
static_assert(kLibraryHelperFields[6].ageParam == NimbraHelper::kEveryNth);
static_assert(kLibraryHelperFields[8].ageParam == NimbraHelper::kMaterialId);
static_assert(kLibraryHelperFields[12].ageParam == NimbraHelper::kUseBrushSettings);
static_assert(kLibraryHelperFields[16].ageParam == NimbraHelper::kDeathShadowTrans);

/// True when every value of `record` is finite and within its age parameter's range, as a
/// helper renders with it.
bool Acceptable(const LibraryHelperRecord &record) {
    const ParamSpec *specs = NimbraHelper::AgeParamSpecs();
    for (std::size_t k = 0; k < kLibraryHelperFields.size(); ++k) {
        const LibraryHelperField &field = kLibraryHelperFields[k];
        const double v = field.IsFloat() ? record.values[k].f : record.values[k].i;
        if (!std::isfinite(v) || !specs[field.ageParam].range.Contains(v)) return false;
    }
    return true;
}

}  // namespace

int NimbraHelper::LibrarySave(NimbraInterface *io) {
    if (!io || !ageBlock_) return 0;
    LibraryHelperRecord record;
    for (std::size_t k = 0; k < kLibraryHelperFields.size(); ++k) {
        const int param = kLibraryHelperFields[k].ageParam;
        if (kLibraryHelperFields[k].IsFloat())
            record.values[k].f = AgeFloat(param, 0);
        else
            record.values[k].i = AgeInt(param, 0);
    }
    if (!Acceptable(record)) return 0;  // a file that would not load again
    if (!WriteLibraryVersion(io)) return 0;
    const auto bytes = EncodeLibraryHelperRecord(record);
    return io->fwrite(bytes.data(), bytes.size(), 1) == 1 ? 1 : 0;
}

int NimbraHelper::LibraryLoad(NimbraInterface *io) {
    if (!io || !ageBlock_ || !ReadLibraryVersion(io)) return 0;
    std::array<std::uint8_t, kLibraryHelperRecordSize> bytes;
    if (io->fread(bytes.data(), bytes.size(), 1) != 1) return 0;
    const LibraryHelperRecord record = DecodeLibraryHelperRecord(bytes);
    if (!Acceptable(record)) return 0;

    SuspendAnimate();  // restored values are values, not keys made while animating
    for (std::size_t k = 0; k < kLibraryHelperFields.size(); ++k) {
        const int param = kLibraryHelperFields[k].ageParam;
        if (kLibraryHelperFields[k].IsFloat())
            ageBlock_->SetValue(param, 0, record.values[k].f);
        else
            ageBlock_->SetValue(param, 0, record.values[k].i);
    }
    ResumeAnimate();
    return 1;
}
