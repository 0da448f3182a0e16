/// @file app_test_classes.h
/// @brief Classes the scene-file tests configure by name, registered in the class directory:
///        a helper with parameters of every type and dimension, named properties and a
///        replaceable plug-in sub-object, two plug-in classes, and two image filters (with and
///        without settings by name).
#pragma once

#include "host/atmospheric.h"
#include "host/class_desc.h"
#include "host/image_filter.h"
#include "host/inode.h"
#include "host/object.h"
#include "host/paramblock.h"
#include "host/properties.h"

#include <numbers>
#include <string>
#include <vector>

namespace apptest {

/// Registers a class under the module "app-test" once per process.
template <typename T>
class TestClassDesc : public ClassDesc {
public:
    TestClassDesc(const char *name, SClass_ID super, Class_ID id)
        : name_(name), super_(super), id_(id) {
        ClassDirectory::Instance().Add(this, "app-test");
    }
    int IsPublic() override { return 1; }
    void *Create(BOOL) override { return T::Make(); }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return super_; }
    Class_ID ClassID() override { return id_; }
    const TCHAR *Category() override { return "App Test"; }

private:
    const char *name_;
    SClass_ID super_;
    Class_ID id_;
};

/// A plug-in with one parameter ("Strength"); two classes of it exist ("Test Plug A", "B").
class TestPlug : public ReferenceTarget {
public:
    explicit TestPlug(Class_ID id, const char *name) : id_(id), name_(name) {
        static const ParamBlockDesc layout[] = {{TYPE_FLOAT, nullptr, TRUE}};
        MakeRefByID(FOREVER, 0, CreateParameterBlock(layout, 1));
    }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return id_; }
    void GetClassName(TSTR &s) override { s = name_; }
    int NumRefs() override { return 1; }
    ReferenceTarget *GetReference(int) override { return block; }
    void SetReference(int, ReferenceTarget *t) override {
        block = dynamic_cast<IParamBlock *>(t);
    }
    int NumSubs() override { return 1; }
    Animatable *SubAnim(int) override { return block; }
    TSTR SubAnimName(int) override { return "Parameters"; }
    RefResult NotifyRefChanged(Interval, ReferenceTarget *, PartID &partID,
                               RefMessage message) override {
        if (message != REFMSG_GET_PARAM_NAME) return REF_SUCCEED;
        reinterpret_cast<GetParamName *>(partID)->name = "Strength";
        return REF_STOP;
    }
    float Strength() {
        float v = 0;
        block->GetValue(0, 0, v);
        return v;
    }
    IParamBlock *block = nullptr;

private:
    Class_ID id_;
    const char *name_;
};

struct TestPlugA : TestPlug {
    static constexpr Class_ID kClassID{0x7E5A0001, 1};
    TestPlugA() : TestPlug(kClassID, "Test Plug A") {}
    static void *Make() { return static_cast<Animatable *>(new TestPlugA); }
};
/// Its objects call themselves "TestPlugB", unlike their class "Test Plug B" (as the objects of
/// "Default Color" call themselves "DefaultColor"): scene files name the class.
struct TestPlugB : TestPlug {
    static constexpr Class_ID kClassID{0x7E5A0002, 1};
    TestPlugB() : TestPlug(kClassID, "TestPlugB") {}
    static void *Make() { return static_cast<Animatable *>(new TestPlugB); }
};

/// A helper with parameters of each type and dimension, three of them with a range
/// (reference 0), a plug-in (reference 1, sub-object "Plug-in", replaced through the property
/// of that name) and properties.
class TestWidget : public HelperObject, public IObjectProperties {
public:
    static constexpr Class_ID kClassID{0x7E5A0003, 1};
    enum { kSize, kDelay, kAngle, kTint, kEnabled, kOffset, kDuration, kNumParams };
    static inline const char *const kNames[kNumParams] = {
        "Size", "Delay", "Angle", "Tint", "Enabled", "Offset", "Duration"};

    TestWidget() {
        static const ParamBlockDesc layout[kNumParams] = {
            {TYPE_FLOAT, nullptr, TRUE}, {TYPE_INT, nullptr, TRUE},
            {TYPE_FLOAT, nullptr, TRUE}, {TYPE_RGBA, nullptr, TRUE},
            {TYPE_BOOL, nullptr, FALSE}, {TYPE_POINT3, nullptr, TRUE},
            {TYPE_FLOAT, nullptr, TRUE}};
        MakeRefByID(FOREVER, 0, CreateParameterBlock(layout, kNumParams));
        MakeRefByID(FOREVER, 1, new TestPlugA);
    }
    static void *Make() { return static_cast<Animatable *>(new TestWidget); }

    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "Test Widget"; }
    int NumRefs() override { return 2; }
    ReferenceTarget *GetReference(int i) override {
        return i == 0 ? static_cast<ReferenceTarget *>(block) : plug;
    }
    void SetReference(int i, ReferenceTarget *t) override {
        if (i == 0)
            block = dynamic_cast<IParamBlock *>(t);
        else
            plug = dynamic_cast<TestPlug *>(t);
    }
    int NumSubs() override { return 2; }
    Animatable *SubAnim(int i) override {
        return i == 0 ? static_cast<Animatable *>(block) : plug;
    }
    TSTR SubAnimName(int i) override { return i == 0 ? "Parameters" : "Plug-in"; }
    RefResult NotifyRefChanged(Interval, ReferenceTarget *target, PartID &partID,
                               RefMessage message) override {
        if (target != block) return REF_SUCCEED;
        if (message == REFMSG_GET_PARAM_NAME) {
            auto *q = reinterpret_cast<GetParamName *>(partID);
            q->name = q->index < kNumParams ? kNames[q->index] : "??";
            return REF_STOP;
        }
        if (message == REFMSG_GET_PARAM_DIM) {
            auto *q = reinterpret_cast<GetParamDim *>(partID);
            q->dim = q->index == kDelay || q->index == kDuration ? stdTimeDim
                     : q->index == kAngle                        ? stdAngleDim
                     : q->index == kTint                         ? stdColorDim
                                                                 : defaultDim;
            return REF_STOP;
        }
        if (message == REFMSG_GET_PARAM_RANGE) {
            // Sizes and delays from 0 on, angles within a turn either way (radians).
            auto *q = reinterpret_cast<GetParamRange *>(partID);
            if (q->index == kSize || q->index == kDelay) q->range = {0.0f};
            if (q->index == kAngle)
                q->range = {-2.0f * std::numbers::pi_v<float>,
                            2.0f * std::numbers::pi_v<float>};
            return REF_STOP;
        }
        return REF_SUCCEED;
    }

    // Properties
    void *GetInterface(ULONG id) override {
        return id == I_OBJECTPROPERTIES ? static_cast<IObjectProperties *>(this) : nullptr;
    }
    std::vector<PropertyInfo> ListProperties() override {
        return {{"Mode", PropertyKind::Choice, {"Linear", "Smooth"}, ""},
                {"Label", PropertyKind::String, {}, ""},
                {"Count", PropertyKind::Int, {}, ""},
                {"Gain", PropertyKind::Float, {}, ""},
                {"Flag", PropertyKind::Bool, {}, ""},
                {"Shade", PropertyKind::Color, {}, ""},
                {"Spot", PropertyKind::Point3, {}, ""},
                {"Targets", PropertyKind::Nodes, {}, ""},
                {"Plug-in", PropertyKind::String, {}, "plug-in class"}};
    }
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override {
        if (name == "Plug-in") {
            ClassDesc *desc = ClassDirectory::Instance().FindByName(
                REF_MAKER_CLASS_ID, std::get<std::string>(value));
            if (!desc) {
                error = "no plug-in class of that name";
                return false;
            }
            ReplaceReference(
                1, static_cast<TestPlug *>(static_cast<Animatable *>(desc->Create())));
            return true;
        }
        if (name == "Count" && std::get<int>(value) < 0) {
            error = "expected a count of 0 or more";
            return false;
        }
        values.push_back({name, value});
        return true;
    }
    std::optional<PropertyValue> GetProperty(const std::string &name) override {
        for (auto it = values.rbegin(); it != values.rend(); ++it)
            if (it->first == name) return it->second;
        return std::nullopt;
    }

    IParamBlock *block = nullptr;
    TestPlug *plug = nullptr;
    std::vector<std::pair<std::string, PropertyValue>> values;
};

/// An image filter with one setting by name ("Amount") that scales the frame's colour.
class TestScaleFilter : public ImageFilter, public IObjectProperties {
public:
    static constexpr Class_ID kClassID{0x7E5A0004, 1};
    static void *Make() { return static_cast<ImageFilter *>(new TestScaleFilter); }
    const TCHAR *Description() override { return "Test Scale"; }
    BOOL Render(HWND) override {
        for (int y = 0; y < srcmap->Height(); ++y)
            for (int x = 0; x < srcmap->Width(); ++x) {
                BMM_Color_64 c = srcmap->Pixel(x, y);
                c.r = UWORD(c.r * amount);
                c.g = UWORD(c.g * amount);
                c.b = UWORD(c.b * amount);
                srcmap->PutPixel(x, y, c);
            }
        return TRUE;
    }
    std::vector<PropertyInfo> ListProperties() override {
        return {{"Amount", PropertyKind::Float, {}, "0 … 1"}};
    }
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override {
        const float v = std::get<float>(value);
        if (v < 0.0f || v > 1.0f) {
            error = "expected 0 to 1";
            return false;
        }
        amount = v;
        return true;
    }
    std::optional<PropertyValue> GetProperty(const std::string &) override { return amount; }
    float amount = 1.0f;
};

/// An image filter without settings by name.
class TestPlainFilter : public ImageFilter {
public:
    static constexpr Class_ID kClassID{0x7E5A0005, 1};
    static void *Make() { return static_cast<ImageFilter *>(new TestPlainFilter); }
    const TCHAR *Description() override { return "Test Plain"; }
    BOOL Render(HWND) override { return TRUE; }
};

/// An atmospheric with one parameter ("Density") that takes only nodes without objects as
/// gizmos.
class TestFog : public Atmospheric {
public:
    static constexpr Class_ID kClassID{0x7E5A0006, 1};
    static void *Make() { return static_cast<Animatable *>(new TestFog); }
    TestFog() {
        static const ParamBlockDesc layout[] = {{TYPE_FLOAT, nullptr, TRUE}};
        MakeRefByID(FOREVER, 0, CreateParameterBlock(layout, 1));
    }
    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "Test Fog"; }
    int NumRefs() override { return 1; }
    ReferenceTarget *GetReference(int) override { return block; }
    void SetReference(int, ReferenceTarget *t) override {
        block = dynamic_cast<IParamBlock *>(t);
    }
    RefResult NotifyRefChanged(Interval, ReferenceTarget *, PartID &partID,
                               RefMessage message) override {
        if (message != REFMSG_GET_PARAM_NAME) return REF_SUCCEED;
        reinterpret_cast<GetParamName *>(partID)->name = "Density";
        return REF_STOP;
    }
    void Shade(ShadeContext &, const Point3 &, const Point3 &, Color &, Color &,
               BOOL) override {}
    int NumGizmos() override { return static_cast<int>(gizmos.size()); }
    INode *GetGizmo(int i) override { return gizmos.at(i); }
    void InsertGizmo(int i, INode *node) override { gizmos.insert(gizmos.begin() + i, node); }
    BOOL OKGizmo(INode *node) override { return node->GetObjectRef() == nullptr; }
    IParamBlock *block = nullptr;
    std::vector<INode *> gizmos;  // not referenced: the test only compares them
};

/// Registers the classes above (once).
inline void RegisterTestClasses() {
    static TestClassDesc<TestPlugA> plugA("Test Plug A", REF_MAKER_CLASS_ID,
                                          TestPlugA::kClassID);
    static TestClassDesc<TestPlugB> plugB("Test Plug B", REF_MAKER_CLASS_ID,
                                          TestPlugB::kClassID);
    static TestClassDesc<TestWidget> widget("Test Widget", HELPER_CLASS_ID,
                                            TestWidget::kClassID);
    static TestClassDesc<TestScaleFilter> scale("Test Scale", FLT_CLASS_ID,
                                                TestScaleFilter::kClassID);
    static TestClassDesc<TestPlainFilter> plain("Test Plain", FLT_CLASS_ID,
                                                TestPlainFilter::kClassID);
    static TestClassDesc<TestFog> fog("Test Fog", ATMOSPHERIC_CLASS_ID, TestFog::kClassID);
}

}  // namespace apptest
