/// @file shading_objects.h
/// @brief A shade context and a light that the shading tests set up by hand.
#pragma once

#include "host/atmospheric.h"
#include "host/inode.h"
#include "host/shade_context.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace hosttest {

/// A shade context at a fixed camera-space point, normal and view direction.
class FixedShadeContext : public ShadeContext {
public:
    Point3 p;
    Point3 n{0.0f, 0.0f, 1.0f};
    Point3 view{0.0f, 0.0f, -1.0f};
    IPoint2 screen;
    std::vector<LightDesc *> lights;

    void SetLights(std::vector<LightDesc *> l) {
        lights = std::move(l);
        nLights = static_cast<int>(lights.size());
    }
    LightDesc *Light(int i) override { return lights.at(i); }
    IPoint2 ScreenCoord() override { return screen; }
    Point3 P() override { return p; }
    Point3 Normal() override { return n; }
    Point3 V() override { return view; }
};

/// A light from a fixed direction with a fixed colour; the diffuse weight is N·L.
class DirectionalTestLight : public LightDesc {
public:
    DirectionalTestLight(Point3 towardsLight, Color c) : dir_(Normalize(towardsLight)), c_(c) {}
    BOOL Illuminate(ShadeContext &, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override {
        color = c_;
        dir = dir_;
        dot_nl = DotProd(normal, dir_);
        diffuseCoef = dot_nl > 0.0f ? dot_nl : 0.0f;
        return TRUE;
    }

private:
    Point3 dir_;
    Color c_;
};

/// An atmospheric that records how it is driven: updates, and per pixel the number of
/// segments shaded, with the threads that shaded them. It tints every segment by `tint` over
/// the segment's length fraction `density` (a simple fog) and lists gizmo nodes.
class RecordingAtmospheric : public Atmospheric {
public:
    static constexpr Class_ID kClassID{0x7E570010, 0x1};
    static inline int live = 0;

    RecordingAtmospheric() { ++live; }
    ~RecordingAtmospheric() override { --live; }
    Class_ID ClassID() override { return kClassID; }
    TSTR GetName() override { return "Recording"; }

    void Prepare(int width, int height) {
        segments = std::vector<std::atomic<int>>(static_cast<std::size_t>(width) * height);
        this->width = width;
    }
    void Update(TimeValue t, Interval &) override {
        ++updates;
        lastUpdate = t;
        shadedBeforeUpdate = shadedBeforeUpdate || shaded > 0;
    }
    void Shade(ShadeContext &sc, const Point3 &p0, const Point3 &p1, Color &color, Color &trans,
               BOOL isBG) override {
        const IPoint2 s = sc.ScreenCoord();
        if (s.x >= 0 && s.x < width && s.y >= 0 &&
            static_cast<std::size_t>(s.y) * width + s.x < segments.size())
            ++segments[static_cast<std::size_t>(s.y) * width + s.x];
        ++shaded;
        backgroundSegments += isBG ? 1 : 0;
        if (updates == 0) shadedBeforeUpdate = true;
        {
            std::lock_guard<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        color = color * (1.0f - density) + tint * density;
        trans = trans * (1.0f - density);
    }

    // Gizmos
    int NumGizmos() override { return static_cast<int>(gizmos.size()); }
    INode *GetGizmo(int i) override { return gizmos.at(i); }
    void DeleteGizmo(int i) override {
        DeleteReference(i);
        gizmos.erase(gizmos.begin() + i);
    }
    void InsertGizmo(int i, INode *node) override {
        gizmos.insert(gizmos.begin() + i, nullptr);
        MakeRefByID(FOREVER, i, node);
    }
    int NumRefs() override { return static_cast<int>(gizmos.size()); }
    ReferenceTarget *GetReference(int i) override { return gizmos.at(i); }
    void SetReference(int i, ReferenceTarget *t) override {
        gizmos.at(i) = dynamic_cast<INode *>(t);
    }
    RefResult NotifyRefChanged(Interval, ReferenceTarget *hTarget, PartID &,
                               RefMessage message) override {
        if (message == REFMSG_TARGET_DELETED) std::erase(gizmos, hTarget);
        return REF_SUCCEED;
    }

    std::vector<INode *> gizmos;
    std::vector<std::atomic<int>> segments;
    int width = 0;
    int updates = 0;
    TimeValue lastUpdate = -1;
    std::atomic<int> shaded{0};
    std::atomic<int> backgroundSegments{0};
    std::atomic<bool> shadedBeforeUpdate{false};
    std::mutex mutex;
    std::set<std::thread::id> threads;
    Color tint{0.0f, 0.0f, 0.0f};
    float density = 0.0f;
};

}  // namespace hosttest
