/// @file test_objects.h
/// @brief Objects the host tests build graphs from: a plain reference target with a few slots
///        and its own data, and a helper object with a parameter block, a shared "plug-in" and
///        a growing list of node references, registered in the class directory per test.
#pragma once

#include "host/animatable.h"
#include "host/class_desc.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/messages.h"
#include "host/paramblock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

namespace hosttest {

/// Keeps host assertions and message boxes quiet while a test provokes them.
class QuietUI : public UserInterfaceService {
public:
    QuietUI() : previous_(SetUserInterface(this)) {}
    ~QuietUI() override { SetUserInterface(previous_); }
    QuietUI(const QuietUI &) = delete;
    QuietUI &operator=(const QuietUI &) = delete;
    int ShowMessage(const MessageRequest &r) override { return DefaultAnswer(r.flags); }

private:
    UserInterfaceService *previous_;
};

/// Checks that two transforms agree element by element within `tol`.
inline ::testing::AssertionResult MatrixNear(const Matrix3 &a, const Matrix3 &b,
                                             float tol = 1e-5f) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (!(std::fabs(a.GetRow(r)[c] - b.GetRow(r)[c]) <= tol)) {
                return ::testing::AssertionFailure()
                       << "row " << r << " column " << c << ": " << a.GetRow(r)[c] << " vs "
                       << b.GetRow(r)[c];
            }
        }
    }
    return ::testing::AssertionSuccess();
}

/// Checks that two points lie within `tol` of each other.
inline ::testing::AssertionResult PointNear(const Point3 &a, const Point3 &b,
                                            float tol = 1e-4f) {
    if ((a - b).Length() <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs ("
                                         << b.x << ", " << b.y << ", " << b.z << ")";
}

/// Writes and reads one little-endian int32 chunk body.
inline void WriteInt(ISave *s, std::int32_t v) {
    std::uint8_t b[4];
    PutLEInt(b, v);
    s->Write(b, 4, nullptr);
}
inline bool ReadInt(ILoad *l, std::int32_t &v) {
    std::uint8_t b[4];
    ULONG got = 0;
    if (l->Read(b, 4, &got) != IO_OK || got != 4) return false;
    v = GetLEInt(b);
    return true;
}

/// A reference target with a fixed number of slots and one int of its own data. It records the
/// messages it receives and counts live instances.
class TestTarget : public ReferenceTarget {
public:
    static constexpr Class_ID kClassID{0x7E570001, 0x1};
    static inline int live = 0;

    explicit TestTarget(int slots = 2) : refs(slots, nullptr) { ++live; }
    ~TestTarget() override {
        --live;
        if (destroyed) *destroyed = true;
    }

    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "TestTarget"; }

    int NumRefs() override { return static_cast<int>(refs.size()); }
    ReferenceTarget *GetReference(int i) override { return refs.at(i); }
    void SetReference(int i, ReferenceTarget *t) override { refs.at(i) = t; }

    RefResult NotifyRefChanged(Interval, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override {
        received.push_back({message, hTarget});
        if (message == REFMSG_GET_PARAM_NAME && !answerName.empty()) {
            reinterpret_cast<GetParamName *>(partID)->name = answerName;
            return REF_STOP;
        }
        return stopChanges ? REF_STOP : REF_SUCCEED;
    }

    ReferenceTarget *Clone(RemapDir &remap) override {
        auto *copy = new TestTarget(NumRefs());
        copy->value = value;
        for (int i = 0; i < NumRefs(); ++i) copy->ReplaceReference(i, remap.CloneRef(refs[i]));
        return copy;
    }

    IOResult Save(ISave *s) override {
        s->BeginChunk(0x0100);
        WriteInt(s, value);
        s->EndChunk();
        return IO_OK;
    }
    IOResult Load(ILoad *l) override {
        IOResult res;
        while ((res = l->OpenChunk()) == IO_OK) {
            if (l->CurChunkID() == 0x0100 && !ReadInt(l, value)) return IO_ERROR;
            l->CloseChunk();
        }
        return res == IO_END ? IO_OK : IO_ERROR;
    }

    /// Number of messages of one kind received.
    int Count(RefMessage m) const {
        int n = 0;
        for (const auto &r : received) n += r.message == m;
        return n;
    }

    struct Received {
        RefMessage message;
        ReferenceTarget *target;
    };
    std::vector<ReferenceTarget *> refs;
    std::vector<Received> received;
    std::int32_t value = 0;
    bool *destroyed = nullptr;  ///< set to true by the destructor when not null
    std::string answerName;     ///< answer to parameter-name queries when not empty
    bool stopChanges = false;   ///< answer REF_STOP to change messages
};

/// A helper object like the system's: reference 0 its parameter block, 1 a shared "plug-in",
/// 2 + i the i-th listed node; own chunks: the node count (the host restores the node
/// references after loading it) and a value. Blocks of layout version 0 are upgraded after
/// loading by a post-load callback.
class TestHelper : public HelperObject {
public:
    static constexpr Class_ID kClassID{0x7E570002, 0x1};
    static inline int live = 0;
    static inline bool failUpgrade = false;  ///< the upgrade callback raises an assertion
    static constexpr int kRefBlock = 0, kRefPlugin = 1, kFirstNodeRef = 2;
    static constexpr USHORT kChunkNodeCount = 0x10, kChunkValue = 0x20, kChunkExtra = 0x7777;

    // Parameters of the current layout (version 1); version 0 had the first three.
    enum { kSize, kCount, kColor, kOn, kPosition, kNumParams };
    static inline const ParamBlockDescID kLayoutV1[kNumParams] = {
        {TYPE_FLOAT, nullptr, TRUE, 0},
        {TYPE_INT, nullptr, TRUE, 1},
        {TYPE_RGBA, nullptr, TRUE, 2},
        {TYPE_BOOL, nullptr, FALSE, 3},
        {TYPE_POINT3, nullptr, TRUE, 4}};
    static inline const ParamBlockDescID kLayoutV0[3] = {{TYPE_FLOAT, nullptr, TRUE, 0},
                                                         {TYPE_INT, nullptr, TRUE, 1},
                                                         {TYPE_RGBA, nullptr, TRUE, 2}};
    static inline const char *const kNames[kNumParams] = {"Size", "Count", "Color", "On",
                                                          "Position"};

    /// A new helper with a current (or, with `oldLayout`, a version-0) parameter block; a
    /// helper made for loading gets its block from the file.
    explicit TestHelper(bool loading = false, bool oldLayout = false) {
        ++live;
        if (loading) return;
        MakeRefByID(FOREVER, kRefBlock,
                    oldLayout ? CreateParameterBlock(kLayoutV0, 3, 0)
                              : CreateParameterBlock(kLayoutV1, kNumParams, 1));
    }
    ~TestHelper() override { --live; }

    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "TestHelper"; }
    const TCHAR *GetObjectName() override { return "Test"; }

    int NumRefs() override { return kFirstNodeRef + static_cast<int>(nodes.size()); }
    ReferenceTarget *GetReference(int i) override {
        if (i == kRefBlock) return block;
        if (i == kRefPlugin) return plugin;
        return i - kFirstNodeRef < static_cast<int>(nodes.size()) ? nodes[i - kFirstNodeRef]
                                                                  : nullptr;
    }
    void SetReference(int i, ReferenceTarget *t) override {
        if (i == kRefBlock)
            block = dynamic_cast<IParamBlock *>(t);
        else if (i == kRefPlugin)
            plugin = t;
        else
            nodes.at(i - kFirstNodeRef) = dynamic_cast<INode *>(t);
    }

    /// Lists `node` as the next node reference.
    void AddNode(INode *node) {
        nodes.push_back(nullptr);
        MakeRefByID(FOREVER, NumRefs() - 1, node);
    }

    RefResult NotifyRefChanged(Interval, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override {
        switch (message) {
            case REFMSG_TARGET_DELETED: {
                // A listed node went away: it leaves the list (first match only).
                auto it = std::find(nodes.begin(), nodes.end(), hTarget);
                if (it != nodes.end()) nodes.erase(it);
                return REF_SUCCEED;
            }
            case REFMSG_GET_PARAM_NAME: {
                auto *q = reinterpret_cast<GetParamName *>(partID);
                q->name = q->index >= 0 && q->index < kNumParams ? kNames[q->index] : "??";
                return REF_STOP;
            }
            case REFMSG_GET_PARAM_DIM: {
                auto *q = reinterpret_cast<GetParamDim *>(partID);
                q->dim = q->index == kColor ? stdColorDim : stdWorldDim;
                return REF_STOP;
            }
            case REFMSG_CHANGE:
                ++changes;
                return REF_SUCCEED;
            default:
                return REF_SUCCEED;
        }
    }

    ReferenceTarget *Clone(RemapDir &remap) override {
        auto *copy = new TestHelper(true);
        copy->ReplaceReference(kRefBlock, remap.CloneRef(block));
        copy->ReplaceReference(kRefPlugin, remap.CloneRef(plugin));
        for (INode *n : nodes) copy->AddNode(n);  // referenced, not cloned
        copy->value = value;
        return copy;
    }

    IOResult Save(ISave *s) override {
        s->BeginChunk(kChunkNodeCount);
        WriteInt(s, static_cast<std::int32_t>(nodes.size()));
        s->EndChunk();
        if (writeExtraChunk) {
            s->BeginChunk(kChunkExtra);
            s->BeginChunk(0x0001);  // nested, as a newer version might write
            WriteInt(s, 12345);
            s->EndChunk();
            s->EndChunk();
        }
        s->BeginChunk(kChunkValue);
        WriteInt(s, value);
        s->EndChunk();
        return IO_OK;
    }

    IOResult Load(ILoad *l) override;

    IParamBlock *block = nullptr;
    ReferenceTarget *plugin = nullptr;
    std::vector<INode *> nodes;
    std::int32_t value = 0;
    int changes = 0;
    bool writeExtraChunk = false;
};

/// Upgrades a loaded helper's version-0 block to the current layout.
class TestHelperPostLoad : public PostLoadCallback {
public:
    explicit TestHelperPostLoad(TestHelper *h) : helper_(h) {}
    void proc(ILoad *iload) override {
        DbgAssert(!TestHelper::failUpgrade);
        IParamBlock *pb = helper_->block;
        if (pb && pb->GetVersion() == 0) {
            helper_->ReplaceReference(
                TestHelper::kRefBlock,
                UpdateParameterBlock(TestHelper::kLayoutV0, 3, pb, TestHelper::kLayoutV1,
                                     TestHelper::kNumParams, 1));
            iload->SetObsolete();
        }
        delete this;
    }

private:
    TestHelper *helper_;
};

inline IOResult TestHelper::Load(ILoad *l) {
    IOResult res;
    while ((res = l->OpenChunk()) == IO_OK) {
        std::int32_t v = 0;
        switch (l->CurChunkID()) {
            case kChunkNodeCount:
                if (!ReadInt(l, v) || v < 0 || v > 1000) return IO_ERROR;
                nodes.assign(v, nullptr);
                break;
            case kChunkValue:
                if (!ReadInt(l, value)) return IO_ERROR;
                break;
            default:
                break;
        }
        l->CloseChunk();
    }
    if (res != IO_END) return IO_ERROR;
    l->RegisterPostLoadCallback(new TestHelperPostLoad(this));
    return IO_OK;
}

/// Class descriptor of a test class; `Create(TRUE)` makes an object to be filled by `Load`.
template <typename T, SClass_ID kSuper>
class TestClassDesc : public ClassDesc {
public:
    explicit TestClassDesc(const char *name) : name_(name) {}
    int IsPublic() override { return 1; }
    void *Create(BOOL loading) override {
        if constexpr (std::is_same_v<T, TestHelper>) {
            return static_cast<Animatable *>(new T(loading != FALSE));
        } else {
            return static_cast<Animatable *>(new T());
        }
    }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return kSuper; }
    Class_ID ClassID() override { return T::kClassID; }
    const TCHAR *Category() override { return "Tests"; }

private:
    const char *name_;
};

constexpr const char *kTestModule = "host-tests";

inline TestClassDesc<TestTarget, REF_MAKER_CLASS_ID> testTargetDesc("TestTarget");
inline TestClassDesc<TestHelper, HELPER_CLASS_ID> testHelperDesc("TestHelper");

inline void RegisterTestClasses() {
    ClassDirectory::Instance().Add(&testTargetDesc, kTestModule);
    ClassDirectory::Instance().Add(&testHelperDesc, kTestModule);
}
inline void UnregisterTestClasses() {
    ClassDirectory::Instance().RemoveModule(kTestModule);
}

/// Registers the test classes and starts and ends every test with an empty scene.
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestClasses();
        GetCOREInterface()->ResetScene();
        targetsBefore_ = TestTarget::live;
        helpersBefore_ = TestHelper::live;
    }
    void TearDown() override {
        GetCOREInterface()->ResetScene();
        UnregisterTestClasses();
        TestHelper::failUpgrade = false;
        EXPECT_EQ(TestTarget::live, targetsBefore_) << "test targets leaked";
        EXPECT_EQ(TestHelper::live, helpersBefore_) << "test helpers leaked";
    }

private:
    int targetsBefore_ = 0;
    int helpersBefore_ = 0;
};

}  // namespace hosttest
