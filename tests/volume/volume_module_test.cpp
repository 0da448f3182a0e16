/// @file volume_module_test.cpp
/// @brief The module `zephravolume` as the host loads it, the volume effects' library records
///        and the upgrade of their old parameter blocks.
#include "common/library_record.h"
#include "common/registry_file.h"
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_registry.h"
#include "host/ioapi.h"
#include "plugins/volume/clouds.h"
#include "plugins/volume/combustion.h"
#include "plugins/volume/gizmos.h"
#include "plugins/volume/gradient_color.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
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
    // In the order of the module's class list, where the classes this build lacks leave no
    // gap; then Gradient Color's data classes.
    const std::vector<std::string> names = {"Combustion",   "PuffyClouds",    "FractalClouds",
                                            "Volume Color", "Gradient Color", "InterRotation",
                                            "NBSphere",     "NBCylinder",     "NBBox"};
    ASSERT_EQ(module->classes.size(), names.size() + kGradientDataClasses);
    const std::vector<PlugInRecord> records =
        testfiles::RecordsIn(modules->ConfigFolder() / "nimbra.reg");
    for (std::size_t i = 0; i < module->classes.size(); ++i) {
        ClassDesc *desc = module->classes[i];
        if (i < names.size()) EXPECT_EQ(desc->ClassName(), names[i]);
        SCOPED_TRACE(desc->ClassName());
        const std::string category = desc->Category();
        // Gizmos, data classes and the rotation composite are made by code only.
        const bool effect =
            desc->SuperClassID() == REF_MAKER_CLASS_ID && category != "VolumeFX Data";
        if (desc->SuperClassID() == HELPER_CLASS_ID) {
            EXPECT_EQ(category, "Nimbra Helpers");
        }
        EXPECT_EQ(category.starts_with("VolumeFX"), desc->SuperClassID() == REF_MAKER_CLASS_ID);
        EXPECT_EQ(desc->IsPublic(),
                  effect && desc->ClassName() != std::string("InterRotation") ? TRUE : FALSE);
        int found = 0;
        for (const PlugInRecord &r : records)
            found += r.ClassID() == desc->ClassID() && r.className == desc->ClassName();
        EXPECT_EQ(found, 1);
        auto *made =
            static_cast<Animatable *>(CreateInstance(desc->SuperClassID(), desc->ClassID()));
        ASSERT_NE(made, nullptr);
        made->DeleteThis();
    }
    for (const Class_ID id :
         {Combustion::kClassID, PuffyClouds::kClassID, FractalClouds::kClassID}) {
        const PlugInRecord *record = ThePlugInRegistry().FindById(id.PartB());
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->categoryKey, kParticleShapeKey);
    }
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

/// A volume effect class, the size of its library record after the version block, and its
/// stretch-axis parameter (an int among floats).
struct EffectCase {
    ClassDesc *(*desc)();
    std::size_t body;
    int axis;
};

class VolumeRecord : public ::testing::TestWithParam<EffectCase> {
protected:
    /// A new object of the class; one made for loading has neither block nor controllers.
    Owned<TablePlugIn> Make(bool loading = false) {
        auto *made = static_cast<Animatable *>(GetParam().desc()->Create(loading));
        return Owned<TablePlugIn>(dynamic_cast<TablePlugIn *>(made));
    }
};

TEST_P(VolumeRecord, HoldsTheParametersOfItsLayoutRoundTripsAndRefusesOthers) {
    const EffectCase e = GetParam();
    Owned<TablePlugIn> c = Make(), loaded = Make();
    ASSERT_TRUE(c && loaded);
    const Bytes defaults = LibraryRecordOf(*loaded);
    IParamBlock *pb = c->ParamBlock();
    for (int i = 0; i < pb->NumParams(); ++i)
        if (pb->GetParameterType(i) == TYPE_FLOAT) pb->SetValue(i, 0, 0.5f * float(i) + 0.125f);
    pb->SetValue(e.axis, 0, 2);
    if (pb->NumParams() > Combustion::kDensityFalloff)
        pb->SetValue(Combustion::kDensityFalloff, 0, 1);
    const Bytes bytes = LibraryRecordOf(*c);
    ASSERT_EQ(bytes.size(), 8u + e.body);
    EXPECT_EQ(GetLE16(bytes.data()), kLibraryBlockVersion);
    EXPECT_EQ(Bytes(bytes.begin() + 2, bytes.begin() + 8), Bytes(6, 0));
    EXPECT_EQ(GetLEInt(bytes.data() + 8 + 4 * e.axis), 2);
    const int last = int(e.body / 4) - 1;
    EXPECT_EQ(GetLEFloat(bytes.data() + 8 + 4 * last), 0.5f * float(last) + 0.125f);

    // Another version word, a short body or an axis past Z is refused and changes nothing.
    Bytes version = bytes, axis = bytes;
    version[1] = 0x02;
    PutLEInt(axis.data() + 8 + 4 * e.axis, 3);
    for (const Bytes &bad : {version, Bytes(bytes.begin(), bytes.end() - 1), axis})
        EXPECT_EQ(LoadLibraryRecord(*loaded, bad), 0);
    EXPECT_EQ(LibraryRecordOf(*loaded), defaults);

    ASSERT_EQ(LoadLibraryRecord(*loaded, bytes), 1);
    EXPECT_EQ(LibraryRecordOf(*loaded), bytes);
    if (loaded->ParamBlock()->NumParams() > Combustion::kDensityFalloff) {
        int falloff = -1;
        loaded->ParamBlock()->GetValue(Combustion::kDensityFalloff, 0, falloff);
        EXPECT_EQ(falloff, 0);  // not part of the record
    }
}

TEST_P(VolumeRecord, UpgradesAnOlderBlockOnLoadAndKeepsACurrentOne) {
    const EffectCase e = GetParam();
    Owned<TablePlugIn> c = Make(true);
    // Combustion's layout grew a density falloff after version 0; FractalClouds' is version 0.
    const bool grew = e.body == 64;
    const int params = int(e.body / 4);
    std::vector<ParamBlockDescID> v0(params);
    for (int i = 0; i < params; ++i)
        v0[i] = {i == e.axis ? TYPE_INT : TYPE_FLOAT, nullptr, i != e.axis, DWORD(i)};
    IParamBlock *block = CreateParameterBlock(v0.data(), params, 0);
    block->SetValue(0, 0, 0.375f);
    block->SetValue(e.axis, 0, 1);
    c->ReplaceReference(0, block);
    PostLoadOnly iload;
    ASSERT_EQ(c->Load(&iload), IO_OK);
    iload.Run();
    EXPECT_EQ(iload.obsolete, grew);

    IParamBlock *pb = c->ParamBlock();
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->NumParams(), params + grew);
    float size = 0.0f;
    int axis = 0;
    pb->GetValue(0, 0, size);
    pb->GetValue(e.axis, 0, axis);
    EXPECT_EQ(size, 0.375f);
    EXPECT_EQ(axis, 1);
    if (grew) {
        EXPECT_EQ(pb->GetVersion(), Combustion::kBlockVersion);
        int falloff = -1;
        pb->GetValue(Combustion::kDensityFalloff, 0, falloff);
        EXPECT_EQ(falloff, int(Combustion::kNoFalloff));
    }
}

INSTANTIATE_TEST_SUITE_P(
    VolumeModule, VolumeRecord,
    ::testing::Values(EffectCase{GetCombustionDesc, 64, Combustion::kStretchAxis},
                      EffectCase{GetPuffyCloudsDesc, 64, PuffyClouds::kStretchAxis},
                      EffectCase{GetFractalCloudsDesc, 60, FractalClouds::kStretchAxis}));
