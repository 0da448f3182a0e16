/// @file volume_module_test.cpp
/// @brief The module `zephravolume` as the host loads it, Combustion's library record and the
///        upgrade of its old parameter blocks.
#include "common/library_record.h"
#include "common/registry_file.h"
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_registry.h"
#include "host/ioapi.h"
#include "plugins/volume/combustion.h"
#include "plugins/volume/gizmos.h"
#include "plugins/volume/gradient_color.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace volumetest;
using testfiles::Bytes;
using testfiles::LibraryRecordOf;
using testfiles::LoadLibraryRecord;

TEST(VolumeModule, RegistersOnlyClassesThatTheHostCanCreate) {
    const LoadedModule *module = modules->LoadedModules().FindModule("zephravolume");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->description, "Nimbra Volume FX Plug-Ins");
    ASSERT_EQ(module->classes.size(), 5u + kGradientDataClasses);
    const std::vector<PlugInRecord> records =
        testfiles::RecordsIn(modules->ConfigFolder() / "nimbra.reg");
    for (ClassDesc *desc : module->classes) {
        SCOPED_TRACE(desc->ClassName());
        const std::string category = desc->Category();
        // Gizmos and data classes are made by code only.
        const bool effect =
            desc->SuperClassID() == REF_MAKER_CLASS_ID && category != "VolumeFX Data";
        if (desc->SuperClassID() == HELPER_CLASS_ID) {
            EXPECT_EQ(category, "Nimbra Helpers");
        }
        EXPECT_EQ(category.starts_with("VolumeFX"), desc->SuperClassID() == REF_MAKER_CLASS_ID);
        EXPECT_EQ(desc->IsPublic(), effect ? TRUE : FALSE);
        int found = 0;
        for (const PlugInRecord &r : records)
            found += r.ClassID() == desc->ClassID() && r.className == desc->ClassName();
        EXPECT_EQ(found, 1);
        auto *made =
            static_cast<Animatable *>(CreateInstance(desc->SuperClassID(), desc->ClassID()));
        ASSERT_NE(made, nullptr);
        made->DeleteThis();
    }
    const PlugInRecord *record = ThePlugInRegistry().FindById(Combustion::kClassID.PartB());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->categoryKey, kParticleShapeKey);
}

namespace {

/// An `ILoad` with no chunks that collects post-load callbacks and the obsolete mark.
class PostLoadOnly final : public ILoad {
public:
    IOResult OpenChunk() override { return IO_END; }
    USHORT CurChunkID() override { return 0; }
    ULONG CurChunkLength() override { return 0; }
    IOResult CloseChunk() override { return IO_OK; }
    IOResult Read(void *, ULONG, ULONG *) override { return IO_ERROR; }
    void RegisterPostLoadCallback(PostLoadCallback *cb) override { callbacks.push_back(cb); }
    void SetObsolete() override { obsolete = true; }
    void Run() {
        for (PostLoadCallback *cb : callbacks) cb->proc(this);
        callbacks.clear();
    }

    std::vector<PostLoadCallback *> callbacks;
    bool obsolete = false;
};

}  // namespace

TEST(VolumeModule, CombustionRecordHoldsTheFirstSixteenParametersAndRoundTrips) {
    Owned<Combustion> c = New<Combustion>(), loaded = New<Combustion>();
    ASSERT_TRUE(c && loaded);
    const Bytes defaults = LibraryRecordOf(*loaded);
    IParamBlock *pb = c->ParamBlock();
    for (int i = 0; i < Combustion::kParams; ++i)
        if (pb->GetParameterType(i) == TYPE_FLOAT) pb->SetValue(i, 0, 0.5f * float(i) + 0.125f);
    pb->SetValue(Combustion::kStretchAxis, 0, 2);
    pb->SetValue(Combustion::kDensityFalloff, 0, 1);
    const Bytes bytes = LibraryRecordOf(*c);
    ASSERT_EQ(bytes.size(), 8u + 64u);
    EXPECT_EQ(GetLE16(bytes.data()), kLibraryBlockVersion);
    EXPECT_EQ(Bytes(bytes.begin() + 2, bytes.begin() + 8), Bytes(6, 0));
    EXPECT_EQ(GetLEInt(bytes.data() + 8 + 4 * Combustion::kStretchAxis), 2);
    EXPECT_EQ(GetLEFloat(bytes.data() + 8 + 4 * 15), 0.5f * 15.0f + 0.125f);

    // Another version word, a short body or an axis past Z is refused and changes nothing.
    Bytes version = bytes, axis = bytes;
    version[1] = 0x02;
    PutLEInt(axis.data() + 8 + 4 * Combustion::kStretchAxis, 3);
    for (const Bytes &bad : {version, Bytes(bytes.begin(), bytes.end() - 1), axis})
        EXPECT_EQ(LoadLibraryRecord(*loaded, bad), 0);
    EXPECT_EQ(LibraryRecordOf(*loaded), defaults);

    ASSERT_EQ(LoadLibraryRecord(*loaded, bytes), 1);
    EXPECT_EQ(LibraryRecordOf(*loaded), bytes);
    int falloff = -1;
    loaded->ParamBlock()->GetValue(Combustion::kDensityFalloff, 0, falloff);
    EXPECT_EQ(falloff, 0);  // not part of the record
}

TEST(VolumeModule, CombustionUpgradesASixteenParameterBlockOnLoad) {
    std::vector<ParamBlockDescID> v0(Combustion::kVersion0Params);
    for (int i = 0; i < Combustion::kVersion0Params; ++i)
        v0[i] = {i == Combustion::kStretchAxis ? TYPE_INT : TYPE_FLOAT, nullptr,
                 i != Combustion::kStretchAxis, DWORD(i)};
    Owned<Combustion> c(static_cast<Combustion *>(
        static_cast<Animatable *>(GetCombustionDesc()->Create(TRUE))));
    IParamBlock *block = CreateParameterBlock(v0.data(), int(v0.size()), 0);
    block->SetValue(Combustion::kBirthDensity, 0, 0.375f);
    block->SetValue(Combustion::kStretchAxis, 0, 1);
    c->ReplaceReference(0, block);
    PostLoadOnly iload;
    ASSERT_EQ(c->Load(&iload), IO_OK);
    iload.Run();
    EXPECT_TRUE(iload.obsolete);

    IParamBlock *pb = c->ParamBlock();
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->GetVersion(), Combustion::kBlockVersion);
    float density = 0.0f;
    int axis = 0, falloff = -1;
    pb->GetValue(Combustion::kBirthDensity, 0, density);
    pb->GetValue(Combustion::kStretchAxis, 0, axis);
    pb->GetValue(Combustion::kDensityFalloff, 0, falloff);
    EXPECT_EQ(density, 0.375f);
    EXPECT_EQ(axis, 1);
    EXPECT_EQ(falloff, int(Combustion::kNoFalloff));
}
