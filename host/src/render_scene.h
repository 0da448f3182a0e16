/// @file render_scene.h
/// @brief The scene as the scene renderer sees it for one field: the geometry of the rendered
///        nodes with their materials, in a bounding-volume hierarchy, answering ray queries
///        (private to the host library).
#pragma once

#include "host/geometry.h"
#include "host/light.h"
#include "host/material.h"
#include "host/shade_context.h"

#include <memory>
#include <vector>

class INode;

/// One rendered node: its surface at the field's time and how to shade it.
struct RenderInstance {
    INode *node = nullptr;
    PrimitiveShape shape;
    Matrix3 worldToObj;
    /// Carries object-space normals to world space (the transposed inverse of the node's
    /// transform, without translation).
    Matrix3 normalToWorld;
    Box3 bounds;  ///< world space
    Mtl *mtl = nullptr;
    /// Shading of a node without material: its wire colour.
    StdMatValues plain;
    BYTE mtlID = 0;
};

/// The nearest surface along a ray.
struct SceneHit {
    int instance = -1;
    float t = 0.0f;
    Point3 normal;  ///< object space, unit
};

/// The render's scene for one field, and its global context: camera, device and time as the
/// renderer sets them, and ray queries for the lights' shadow maps. Read-only while rendering.
class RenderScene : public RenderGlobalContext {
public:
    /// Collects the nodes below `root` (depth first) whose object is a primitive, at t (only
    /// the selected ones when `selectedOnly`), builds the hierarchy, then updates the
    /// description of every light below `root` for t with this context, so that shadow maps
    /// see the geometry. Set the camera (`worldToCam`, `camToWorld`) and `numThreads` first.
    void Build(INode *root, TimeValue t, bool selectedOnly);

    const std::vector<RenderInstance> &Instances() const { return instances_; }
    /// The lights' descriptions, in scene order.
    const std::vector<LightDesc *> &Lights() const { return lightList_; }

    /// The nearest hit along `ray` (world space) with a distance in (tmin, tmax).
    bool Trace(const Ray &ray, float tmin, float tmax, SceneHit &hit) const;
    bool IntersectWorld(const Ray &ray, float tmin, float tmax, float &t) const override;

private:
    struct BvhNode {
        Box3 box;
        int first = 0;  ///< leaf: first entry of `order_`; interior: left child
        int count = 0;  ///< leaf: entries; interior: 0 (right child is first + 1)
    };
    /// Fills node `index` with the instances order_[begin, end).
    void BuildNode(int index, int begin, int end);

    std::vector<RenderInstance> instances_;
    std::vector<std::unique_ptr<ObjLightDesc>> lights_;
    std::vector<LightDesc *> lightList_;
    std::vector<int> order_;  ///< instance indices, grouped by leaf
    std::vector<BvhNode> nodes_;
};
