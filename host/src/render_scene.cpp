/// @file render_scene.cpp
/// @brief Collecting the rendered nodes and tracing rays through their hierarchy of bounds.
#include "render_scene.h"

#include "host/inode.h"

#include <algorithm>
#include <cmath>

namespace {

/// Largest number of instances in a leaf of the hierarchy.
constexpr int kLeafSize = 2;
/// Deepest traversal stack: the median split keeps the depth near log2 of the instance count.
constexpr int kStackSize = 64;

void Collect(INode *node, std::vector<INode *> &out) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        INode *child = node->GetChildNode(i);
        if (!child) continue;
        out.push_back(child);
        Collect(child, out);
    }
}

/// Whether the ray meets `box` within (tmin, tmax); `inv` holds the reciprocal direction.
bool SlabHit(const Box3 &box, const Point3 &origin, const Point3 &inv, float tmin, float tmax) {
    for (int a = 0; a < 3; ++a) {
        float t0 = (box.pmin[a] - origin[a]) * inv[a];
        float t1 = (box.pmax[a] - origin[a]) * inv[a];
        if (t0 > t1) std::swap(t0, t1);
        tmin = std::max(tmin, t0);
        tmax = std::min(tmax, t1);
        if (tmin > tmax) return false;
    }
    return true;
}

/// 1 / d with zero components replaced by a tiny value of the same sign, so that slab
/// distances stay finite or infinite, never NaN.
Point3 Reciprocal(const Point3 &d) {
    Point3 r;
    for (int a = 0; a < 3; ++a) {
        const float c = std::fabs(d[a]) < 1e-30f ? std::copysign(1e-30f, d[a]) : d[a];
        r[a] = 1.0f / c;
    }
    return r;
}

Color WireColor(DWORD c) {
    return Color((c & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, ((c >> 16) & 0xFF) / 255.0f);
}

}  // namespace

void RenderScene::Build(INode *root, TimeValue t, bool selectedOnly) {
    instances_.clear();
    order_.clear();
    nodes_.clear();
    lights_.clear();
    lightList_.clear();
    std::vector<INode *> nodes;
    if (root) Collect(root, nodes);
    std::vector<Mtl *> updated;
    for (INode *node : nodes) {
        if (selectedOnly && !node->Selected()) continue;
        auto *prim = dynamic_cast<PrimitiveObject *>(node->EvalWorldState(t).obj);
        if (!prim) continue;
        RenderInstance inst;
        inst.shape = prim->GetShape(t);
        if (inst.shape.kind == ShapeKind::kNone) continue;
        const Matrix3 objToWorld = node->GetObjectTM(t);
        if (objToWorld.Determinant() == 0.0f) continue;  // flattened to nothing
        inst.node = node;
        inst.worldToObj = Inverse(objToWorld);
        const Matrix3 &w = inst.worldToObj;
        inst.normalToWorld =
            Matrix3(Point3(w[0][0], w[1][0], w[2][0]), Point3(w[0][1], w[1][1], w[2][1]),
                    Point3(w[0][2], w[1][2], w[2][2]), Point3());
        inst.bounds = inst.shape.Bounds() * objToWorld;
        inst.mtl = node->GetMtl();
        if (inst.mtl) {
            if (std::find(updated.begin(), updated.end(), inst.mtl) == updated.end()) {
                Interval valid = FOREVER;
                inst.mtl->Update(t, valid);
                updated.push_back(inst.mtl);
            }
            inst.mtlID = static_cast<BYTE>(std::min<ULONG>(inst.mtl->GetGBufID(), 255));
        } else {
            inst.plain.ambient = inst.plain.diffuse = WireColor(node->GetWireColor());
        }
        instances_.push_back(inst);
    }
    if (!instances_.empty()) {
        order_.resize(instances_.size());
        for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
        nodes_.reserve(2 * instances_.size());
        nodes_.emplace_back();
        BuildNode(0, 0, static_cast<int>(order_.size()));
    }
    for (INode *node : nodes) {
        Object *obj = node->EvalWorldState(t).obj;
        if (!obj || obj->SuperClassID() != LIGHT_CLASS_ID) continue;
        auto *light = dynamic_cast<LightObject *>(obj);
        if (!light) continue;
        std::unique_ptr<ObjLightDesc> desc(light->CreateLightDesc(node));
        if (!desc || !desc->Update(t, this, TRUE)) continue;
        lightList_.push_back(desc.get());
        lights_.push_back(std::move(desc));
    }
}

void RenderScene::BuildNode(int index, int begin, int end) {
    Box3 box, centres;
    for (int i = begin; i < end; ++i) {
        box += instances_[order_[i]].bounds;
        centres += instances_[order_[i]].bounds.Center();
    }
    nodes_[index].box = box;
    if (end - begin <= kLeafSize) {
        nodes_[index].first = begin;
        nodes_[index].count = end - begin;
        return;
    }
    // Median split along the widest spread of the centres.
    const Point3 spread = centres.Width();
    const int axis =
        spread.x >= spread.y && spread.x >= spread.z ? 0 : (spread.y >= spread.z ? 1 : 2);
    const int mid = (begin + end) / 2;
    std::nth_element(
        order_.begin() + begin, order_.begin() + mid, order_.begin() + end, [&](int a, int b) {
            return instances_[a].bounds.Center()[axis] < instances_[b].bounds.Center()[axis];
        });
    const int left = static_cast<int>(nodes_.size());
    nodes_[index].first = left;
    nodes_[index].count = 0;
    nodes_.emplace_back();
    nodes_.emplace_back();
    // The children sit side by side; each builds its subtree after them.
    BuildNode(left, begin, mid);
    BuildNode(left + 1, mid, end);
}

bool RenderScene::Trace(const Ray &ray, float tmin, float tmax, SceneHit &hit) const {
    if (nodes_.empty()) return false;
    const Point3 inv = Reciprocal(ray.dir);
    int stack[kStackSize];
    int top = 0;
    stack[top++] = 0;
    bool found = false;
    while (top > 0) {
        const BvhNode &node = nodes_[stack[--top]];
        if (!SlabHit(node.box, ray.p, inv, tmin, tmax)) continue;
        if (node.count == 0) {
            stack[top++] = node.first;
            stack[top++] = node.first + 1;
            continue;
        }
        for (int k = node.first; k < node.first + node.count; ++k) {
            const RenderInstance &inst = instances_[order_[k]];
            const Ray local{inst.worldToObj.PointTransform(ray.p),
                            inst.worldToObj.VectorTransform(ray.dir)};
            float t;
            Point3 n;
            if (IntersectShape(inst.shape, local, tmin, tmax, t, n)) {
                tmax = t;
                hit.instance = order_[k];
                hit.t = t;
                hit.normal = n;
                found = true;
            }
        }
    }
    return found;
}

bool RenderScene::IntersectWorld(const Ray &ray, float tmin, float tmax, float &t) const {
    SceneHit hit;
    if (!Trace(ray, tmin, tmax, hit)) return false;
    t = hit.t;
    return true;
}
