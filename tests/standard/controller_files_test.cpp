/// @file controller_files_test.cpp
/// @brief The default controller's state block as a file format, its library records, its
///        scene-file data and its clones.
#include "framework/library_block.h"
#include "host/chunk_stream.h"
#include "host/inode.h"
#include "host/little_endian.h"
#include "host/scene_file.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

using namespace standardtest;

namespace {

using ControllerFiles = ControllerTest;

constexpr std::size_t kRecordSize = 8 + 108;

/// A state with a distinct value in every field.
ControllerState DistinctState() {
    ControllerState s;
    s.setupLock = 1;
    s.value1 = 0.125f;
    s.value2 = 0.875f;
    s.birthTime = -160;
    s.deathTime = 9600;
    s.interpolation = kClamp;
    s.kind = kKindColor;
    s.variationStrength = 2.5f;
    s.useVariation = 1;
    s.birthVariationInt = -7;
    s.deathVariationInt = 70000;
    s.minInt = -100;
    s.maxInt = 123456;
    s.birthVariationFloat = -1.5f;
    s.deathVariationFloat = 3.75f;
    s.minFloat = -10.0f;
    s.maxFloat = 640.0f;
    s.stepFloat = 0.05f;
    s.variantBirthColor = {1, 0x1234, 65535};
    s.variantDeathColor = {0xABCD, 2, 3};
    s.noiseSeed = 4242;
    s.noiseFrequency = 0.75f;
    s.noiseStrength = 12.0f;
    s.fractalNoise = 1;
    s.noiseRoughness = 0.625f;
    return s;
}

/// Checks every field of `s` at its offset in `bytes`, the block starting at `base`.
void ExpectStateAt(const std::vector<std::uint8_t> &bytes, std::size_t base,
                   const ControllerState &s) {
    ASSERT_GE(bytes.size(), base + 108);
    EXPECT_EQ(IntAt(bytes, base + 0), s.setupLock);
    EXPECT_EQ(FloatAt(bytes, base + 4), s.value1);
    EXPECT_EQ(FloatAt(bytes, base + 8), s.value2);
    EXPECT_EQ(IntAt(bytes, base + 12), s.birthTime);
    EXPECT_EQ(IntAt(bytes, base + 16), s.deathTime);
    EXPECT_EQ(IntAt(bytes, base + 20), s.interpolation);
    EXPECT_EQ(IntAt(bytes, base + 24), s.kind);
    EXPECT_EQ(FloatAt(bytes, base + 28), s.variationStrength);
    EXPECT_EQ(IntAt(bytes, base + 32), s.useVariation);
    EXPECT_EQ(IntAt(bytes, base + 36), s.birthVariationInt);
    EXPECT_EQ(IntAt(bytes, base + 40), s.deathVariationInt);
    EXPECT_EQ(IntAt(bytes, base + 44), s.minInt);
    EXPECT_EQ(IntAt(bytes, base + 48), s.maxInt);
    EXPECT_EQ(FloatAt(bytes, base + 52), s.birthVariationFloat);
    EXPECT_EQ(FloatAt(bytes, base + 56), s.deathVariationFloat);
    EXPECT_EQ(FloatAt(bytes, base + 60), s.minFloat);
    EXPECT_EQ(FloatAt(bytes, base + 64), s.maxFloat);
    EXPECT_EQ(FloatAt(bytes, base + 68), s.stepFloat);
    EXPECT_EQ(U16At(bytes, base + 72), s.variantBirthColor.r);
    EXPECT_EQ(U16At(bytes, base + 74), s.variantBirthColor.g);
    EXPECT_EQ(U16At(bytes, base + 76), s.variantBirthColor.b);
    EXPECT_EQ(U16At(bytes, base + 78), 0);  // padding
    EXPECT_EQ(U16At(bytes, base + 80), s.variantDeathColor.r);
    EXPECT_EQ(U16At(bytes, base + 82), s.variantDeathColor.g);
    EXPECT_EQ(U16At(bytes, base + 84), s.variantDeathColor.b);
    EXPECT_EQ(U16At(bytes, base + 86), 0);
    EXPECT_EQ(IntAt(bytes, base + 88), s.noiseSeed);
    EXPECT_EQ(FloatAt(bytes, base + 92), s.noiseFrequency);
    EXPECT_EQ(FloatAt(bytes, base + 96), s.noiseStrength);
    EXPECT_EQ(IntAt(bytes, base + 100), s.fractalNoise);
    EXPECT_EQ(FloatAt(bytes, base + 104), s.noiseRoughness);
}

/// Gives a controller of `kind` values unlike the defaults in both blocks and its state.
void Configure(DefaultController *c, int kind) {
    switch (kind) {
        case kKindInt:
            c->__SetupInt__(-50, 500);
            c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 12);
            c->VariationBlock()->SetValue(DefaultController::kDeathVariation, 0, -34);
            break;
        case kKindFloat:
            c->__SetupFloat__(-1.0f, 99.0f, 0.5f);
            c->VariationBlock()->SetValue(DefaultController::kBirthVariation, 0, 1.25f);
            c->VariationBlock()->SetValue(DefaultController::kDeathVariation, 0, -8.5f);
            break;
        case kKindColor:
            c->__SetupColor__(Color(1.0f, 0.0f, 0.2f), Color(0.0f, 0.6f, 1.0f), FALSE);
            break;
        default:
            break;
    }
    if (kind != kKindNone) {
        IParamBlock *pb = c->VariationBlock();
        pb->SetValue(DefaultController::kVariationStrength, 0, 3.5f);
        pb->SetValue(DefaultController::kNoiseSeed, 0, 77);
        pb->SetValue(DefaultController::kNoiseFrequency, 0, 2.25f);
        pb->SetValue(DefaultController::kNoiseStrength, 0, 4.0f);
        pb->SetValue(DefaultController::kFractalNoise, 0, 1);
        pb->SetValue(DefaultController::kNoiseRoughness, 0, 0.375f);
        c->SetUseVariation(true);
    }
    c->InterpolationBlock()->SetValue(DefaultController::kValue1, 0, 0.3f);
    c->InterpolationBlock()->SetValue(DefaultController::kValue2, 0, 0.6f);
    c->SetInterpolation(kSmoothStep);
}

/// Both controllers' blocks hold the same values (and keys) at `times`.
void ExpectSameBlocks(DefaultController *a, DefaultController *b,
                      std::initializer_list<TimeValue> times = {0}) {
    ASSERT_EQ(a->NumRefs(), b->NumRefs());
    for (int r = 0; r < a->NumRefs(); ++r) {
        auto *pa = static_cast<IParamBlock *>(a->GetReference(r));
        auto *pb = static_cast<IParamBlock *>(b->GetReference(r));
        ASSERT_TRUE(pa && pb) << "reference " << r;
        EXPECT_NE(pa, pb);
        ASSERT_EQ(pa->NumParams(), pb->NumParams());
        for (int i = 0; i < pa->NumParams(); ++i) {
            ASSERT_EQ(pa->GetParameterType(i), pb->GetParameterType(i));
            EXPECT_EQ(pa->NumKeys(i), pb->NumKeys(i)) << "reference " << r << " param " << i;
            for (TimeValue t : times) {
                Color ca, cb;  // every type reads as a colour's first channel or all three
                if (pa->GetParameterType(i) == TYPE_RGBA) {
                    pa->GetValue(i, t, ca);
                    pb->GetValue(i, t, cb);
                } else {
                    pa->GetValue(i, t, ca.r);
                    pb->GetValue(i, t, cb.r);
                }
                EXPECT_EQ(ca, cb) << "reference " << r << " param " << i << " t " << t;
            }
        }
    }
}

/// The library record of a controller configured for `kind`.
std::vector<std::uint8_t> RecordOf(int kind) {
    DefaultController *source = NewController();
    if (!source) return {};
    Configure(source, kind);
    LibraryFile file;
    EXPECT_EQ(source->LibrarySave(file.io()), 1);
    source->DeleteThis();
    return file.Bytes();
}

std::vector<std::uint8_t> SaveChunks(DefaultController *c) {
    ChunkWriter writer;
    EXPECT_EQ(c->Save(&writer), IO_OK);
    EXPECT_EQ(writer.OpenChunks(), 0);
    return writer.Bytes();
}

}  // namespace

TEST(ControllerState, EveryFieldSitsAtItsOffset) {
    const ControllerState s = DistinctState();
    const ControllerStateBytes encoded = EncodeControllerState(s);
    ExpectStateAt(std::vector<std::uint8_t>(encoded.begin(), encoded.end()), 0, s);
    const std::optional<ControllerState> decoded = DecodeControllerState(encoded);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, s);
}

TEST(ControllerState, DamagedKindOrModeIsRefused) {
    ControllerState s;
    s.kind = 4;
    EXPECT_FALSE(DecodeControllerState(EncodeControllerState(s)));
    s.kind = -1;
    EXPECT_FALSE(DecodeControllerState(EncodeControllerState(s)));
    s.kind = kKindNone;
    s.interpolation = kInterpolationModes;
    EXPECT_FALSE(DecodeControllerState(EncodeControllerState(s)));
    s.interpolation = kOther;
    EXPECT_TRUE(DecodeControllerState(EncodeControllerState(s)));
}

TEST_F(ControllerFiles, LibrarySaveWritesTheHeaderAndTheRefreshedBlock) {
    Configure(c, kKindFloat);
    c->__Reset__(999, 5, 6, 7);  // overwritten by the save's own reset
    LibraryFile file;
    ASSERT_EQ(c->LibrarySave(file.io()), 1);
    const std::vector<std::uint8_t> bytes = file.Bytes();
    ASSERT_EQ(bytes.size(), kRecordSize);
    EXPECT_EQ(U16At(bytes, 0), 256);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(bytes[i], 0) << "header byte " << i;

    // The block: the life of the save's reset and the blocks' values at time 0.
    EXPECT_EQ(IntAt(bytes, 8 + 12), 0);
    EXPECT_EQ(IntAt(bytes, 8 + 16), 4800);
    EXPECT_EQ(FloatAt(bytes, 8 + 4), 0.3f);
    EXPECT_EQ(FloatAt(bytes, 8 + 8), 0.6f);
    EXPECT_EQ(IntAt(bytes, 8 + 20), kSmoothStep);
    EXPECT_EQ(IntAt(bytes, 8 + 24), kKindFloat);
    EXPECT_EQ(FloatAt(bytes, 8 + 52), 1.25f);
    EXPECT_EQ(FloatAt(bytes, 8 + 56), -8.5f);
    EXPECT_EQ(FloatAt(bytes, 8 + 60), -1.0f);
    EXPECT_EQ(FloatAt(bytes, 8 + 64), 99.0f);
    EXPECT_EQ(FloatAt(bytes, 8 + 68), 0.5f);
    EXPECT_EQ(IntAt(bytes, 8 + 88), 77);
    EXPECT_EQ(IntAt(bytes, 8 + 100), 1);
    ExpectStateAt(bytes, 8, c->State());
}

TEST_F(ControllerFiles, LibraryRecordRoundTripsForEachKind) {
    for (int kind : {kKindNone, kKindInt, kKindFloat, kKindColor}) {
        SCOPED_TRACE(kind);
        DefaultController *saved = NewController();
        DefaultController *loaded = NewController();
        ASSERT_TRUE(saved && loaded);
        Configure(saved, kind);
        LibraryFile file;
        ASSERT_EQ(saved->LibrarySave(file.io()), 1);
        file.Rewind();
        ASSERT_EQ(loaded->LibraryLoad(file.io()), 1);
        EXPECT_EQ(loaded->State(), saved->State());
        EXPECT_EQ(loaded->NumRefs(), kind == kKindNone ? 1 : 2);
        ExpectSameBlocks(saved, loaded);
        saved->DeleteThis();
        loaded->DeleteThis();
    }
}

TEST_F(ControllerFiles, LibraryRecordWithoutKindDropsTheVariationBlock) {
    LibraryFile file;
    file.Replace(RecordOf(kKindNone));

    Configure(c, kKindFloat);
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 4800, 0.9f);
    ASSERT_EQ(c->LibraryLoad(file.io()), 1);
    EXPECT_EQ(c->VariationBlock(), nullptr);
    EXPECT_EQ(c->NumRefs(), 1);
    EXPECT_EQ(c->NumSubs(), 1);
    EXPECT_EQ(c->InterpolationBlock()->NumKeys(DefaultController::kValue1), 0);
}

TEST_F(ControllerFiles, LibraryRecordOfAnotherVersionIsRefused) {
    const std::vector<std::uint8_t> good = RecordOf(kKindInt);
    ASSERT_EQ(good.size(), kRecordSize);
    LibraryFile file;

    Configure(c, kKindColor);
    const ControllerState before = c->State();
    IParamBlock *interpolation = c->InterpolationBlock();
    IParamBlock *variation = c->VariationBlock();
    for (std::uint16_t version : {std::uint16_t(257), std::uint16_t(0), std::uint16_t(1)}) {
        std::vector<std::uint8_t> bad = good;
        PutLE16(bad.data(), version);
        file.Replace(bad);
        EXPECT_EQ(c->LibraryLoad(file.io()), 0) << "version " << version;
        EXPECT_EQ(c->State(), before);
        EXPECT_EQ(c->InterpolationBlock(), interpolation);
        EXPECT_EQ(c->VariationBlock(), variation);
    }
    // The six bytes after the version word are ignored.
    std::vector<std::uint8_t> noisyHeader = good;
    for (int i = 2; i < 8; ++i) noisyHeader[i] = 0xEE;
    file.Replace(noisyHeader);
    EXPECT_EQ(c->LibraryLoad(file.io()), 1);
    EXPECT_EQ(c->State().kind, kKindInt);
}

// A record cut short or with a damaged block is refused as a whole: nothing of it is taken.
TEST_F(ControllerFiles, TruncatedOrDamagedLibraryRecordChangesNothing) {
    const std::vector<std::uint8_t> good = RecordOf(kKindInt);
    ASSERT_EQ(good.size(), kRecordSize);
    LibraryFile file;

    Configure(c, kKindFloat);
    const ControllerState before = c->State();
    IParamBlock *variation = c->VariationBlock();
    for (std::size_t size : {std::size_t(0), std::size_t(5), std::size_t(8), kRecordSize - 1}) {
        file.Replace(std::vector<std::uint8_t>(good.begin(), good.begin() + size));
        EXPECT_EQ(c->LibraryLoad(file.io()), 0) << size << " bytes";
        EXPECT_EQ(c->State(), before);
        EXPECT_EQ(c->VariationBlock(), variation);
    }
    std::vector<std::uint8_t> badKind = good;
    badKind[8 + 24] = 9;
    file.Replace(badKind);
    EXPECT_EQ(c->LibraryLoad(file.io()), 0);
    EXPECT_EQ(c->State(), before);
}

TEST_F(ControllerFiles, LibrarySaveReportsAFailedWrite) {
    NimbraInterface *io = GetNimbraInterface();
    ASSERT_EQ(io->file, nullptr);  // no file: nothing can be written
    EXPECT_EQ(c->LibrarySave(io), 0);
    EXPECT_EQ(c->LibraryLoad(io), 0);
}

TEST_F(ControllerFiles, SceneChunkHoldsTheStateBlock) {
    Configure(c, kKindColor);
    c->__Reset__(0, 10, 20, 0);
    const std::vector<std::uint8_t> bytes = SaveChunks(c);
    ASSERT_EQ(bytes.size(), 6 + 108u);
    EXPECT_EQ(U16At(bytes, 0), 16);   // chunk identifier
    EXPECT_EQ(IntAt(bytes, 2), 108);  // body length
    ExpectStateAt(bytes, 6, c->State());

    // Read back into a controller made for loading; unknown chunks are skipped.
    ChunkWriter withExtra;
    withExtra.BeginChunk(0x7777);
    withExtra.Write("x", 1, nullptr);
    withExtra.EndChunk();
    withExtra.Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    ChunkReader reader(withExtra.Bytes());
    DefaultController loaded(true);
    EXPECT_EQ(loaded.Load(&reader), IO_OK);
    EXPECT_EQ(loaded.State(), c->State());
}

TEST_F(ControllerFiles, ShortOrDamagedSceneChunkFailsTheLoad) {
    ChunkWriter shortChunk;
    shortChunk.BeginChunk(DefaultController::kStateChunk);
    shortChunk.Write(std::vector<std::uint8_t>(100).data(), 100, nullptr);
    shortChunk.EndChunk();
    ChunkReader shortReader(shortChunk.Bytes());
    DefaultController a(true);
    EXPECT_EQ(a.Load(&shortReader), IO_ERROR);

    ControllerState damaged;
    damaged.kind = 12;
    const ControllerStateBytes block = EncodeControllerState(damaged);
    ChunkWriter damagedChunk;
    damagedChunk.BeginChunk(DefaultController::kStateChunk);
    damagedChunk.Write(block.data(), static_cast<ULONG>(block.size()), nullptr);
    damagedChunk.EndChunk();
    ChunkReader damagedReader(damagedChunk.Bytes());
    DefaultController b(true);
    EXPECT_EQ(b.Load(&damagedReader), IO_ERROR);
    EXPECT_EQ(b.State(), ControllerState{});
}

TEST_F(OwnerTest, SceneFileKeepsStateAndBlocksWithKeys) {
    auto *owner = new ControllerOwner;
    GetCOREInterface()->CreateObjectNode(owner);
    DefaultController *c = owner->controller;
    ASSERT_NE(c, nullptr);
    Configure(c, kKindFloat);
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 0, 0.1f);
    c->InterpolationBlock()->SetKey(DefaultController::kValue1, 4800, 0.7f);
    c->VariationBlock()->SetKey(DefaultController::kNoiseStrength, 960, 9.0f);
    c->__Reset__(100, 10, 4810, 3);
    const ControllerState state = c->State();

    // A copy to compare against once the scene is replaced.
    DefaultController *reference = static_cast<DefaultController *>(CloneRefHierarchy(c));
    const std::vector<std::uint8_t> bytes = SaveSceneToMemory("controller scene");
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(bytes, "controller scene");

    INode *root = GetCOREInterface()->GetRootNode();
    ASSERT_EQ(root->NumberOfChildren(), 1);
    auto *loadedOwner = dynamic_cast<ControllerOwner *>(root->GetChildNode(0)->GetObjectRef());
    ASSERT_NE(loadedOwner, nullptr);
    DefaultController *loaded = loadedOwner->controller;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->State(), state);
    ExpectSameBlocks(reference, loaded, {0, 960, 2400, 4800});
    EXPECT_EQ(loaded->InterpolationBlock()->NumKeys(DefaultController::kValue1), 2);
    reference->DeleteThis();
}

TEST_F(ControllerFiles, CloneKeepsTheStateAndClonesTheBlocks) {
    for (int kind : {kKindNone, kKindInt, kKindColor}) {
        SCOPED_TRACE(kind);
        DefaultController *source = NewController();
        ASSERT_NE(source, nullptr);
        Configure(source, kind);
        source->InterpolationBlock()->SetKey(DefaultController::kValue2, 4800, 0.2f);
        source->__Reset__(10, 20, 30, 40);
        RemapDir remap;
        auto *copy = dynamic_cast<DefaultController *>(source->Clone(remap));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->State(), source->State());
        ExpectSameBlocks(source, copy, {0, 2400, 4800});
        // The copy is independent of its source.
        copy->InterpolationBlock()->SetValue(DefaultController::kValue1, 0, 0.99f);
        float v = 0;
        source->InterpolationBlock()->GetValue(DefaultController::kValue1, 0, v);
        EXPECT_EQ(v, 0.3f);
        copy->DeleteThis();
        source->DeleteThis();
    }
}
