/// @file volume_preview.cpp
/// @brief The viewport preview's gizmo nodes and their keys.
#include "plugins/volume/volume_preview.h"

#include "plugins/volume/gizmos.h"

#include "framework/helper_record.h"
#include "framework/plugin_interface.h"

#include "host/interface.h"
#include "host/particles.h"
#include "host/prompt.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

/// One particle a preview node follows.
struct PreviewParticle {
    ParticleObject *system;
    int index;
};

/// The helper's particles at t in the order the renderers collect them: every Nth from the
/// offset, system after system, dead ones included (their nodes shrink to nothing).
std::vector<PreviewParticle> CollectParticles(IHelperRecord &helper, const HelperRecord &h,
                                              TimeValue t, std::size_t wanted) {
    std::vector<PreviewParticle> out;
    const long long stride = std::max(h.everyNth, 1);
    for (int j = 1; j <= helper.ParticleSystemCount() && out.size() < wanted; ++j) {
        ParticleObject *system = helper.ParticleSystemState(j, t);
        if (!system) continue;
        const int count = system->NumParticles();
        for (long long k = std::max(h.nthOffset, 0); k < count && out.size() < wanted;
             k += stride)
            out.push_back({system, static_cast<int>(k)});
    }
    return out;
}

/// The gizmo class of a volume shape.
Class_ID GizmoClass(int shape) {
    switch (shape) {
        case kVolumeCylinder:
            return NBCylGizmoObject::kClassID;
        case kVolumeBox:
            return NBBoxGizmoObject::kClassID;
        default:
            return NBSphereGizmoObject::kClassID;
    }
}

/// Keys the gizmo's size for a particle of size `size` at t: a sphere's radius is the size, a
/// cylinder's radius the size and its height twice the size, a box's sides twice the size.
void KeyGizmoSize(VolumeGizmo &gizmo, TimeValue t, float size) {
    IParamBlock *block = gizmo.GetParamBlock();
    if (!block) return;
    if (dynamic_cast<NBSphereGizmoObject *>(&gizmo)) {
        block->SetKey(NBSphereGizmoObject::kRadius, t, size);
    } else if (dynamic_cast<NBCylGizmoObject *>(&gizmo)) {
        block->SetKey(NBCylGizmoObject::kRadius, t, size);
        block->SetKey(NBCylGizmoObject::kHeight, t, 2.0f * size);
    } else {
        for (int side :
             {NBBoxGizmoObject::kLength, NBBoxGizmoObject::kWidth, NBBoxGizmoObject::kHeight})
            block->SetKey(side, t, 2.0f * size);
    }
}

int WireColorParam(VolumeGizmo &gizmo) {
    // The cylinder keeps it where the sphere does.
    if (dynamic_cast<NBBoxGizmoObject *>(&gizmo)) return NBBoxGizmoObject::kWireColor;
    return NBSphereGizmoObject::kWireColor;
}

/// A preview node and its gizmo.
struct PreviewNode {
    INode *node;
    VolumeGizmo *gizmo;
};

}  // namespace

std::string PreviewNodeName(const std::string &helperName, int index) {
    return helperName + " - Preview" + std::to_string(index);
}

int EraseVolumePreview(INode *helperNode) {
    if (!helperNode) return 0;
    Interface *ip = GetCOREInterface();
    const std::string helperName = helperNode->GetName();
    int deleted = 0;
    if (INode *node = ip->GetINodeByName((helperName + " - Preview").c_str())) {
        ip->DeleteNode(node);
        ++deleted;
    }
    for (int i = 0;; ++i) {
        INode *node = ip->GetINodeByName(PreviewNodeName(helperName, i).c_str());
        if (!node) break;
        ip->DeleteNode(node);
        ++deleted;
    }
    return deleted;
}

int CreateVolumePreview(INode *helperNode, NimbraPlugIn *transform,
                        const PreviewOptions &options) {
    IHelperRecord *helper =
        helperNode ? GetHelperRecordInterface(helperNode->GetObjectRef()) : nullptr;
    if (!helper || !transform) return 0;
    EraseVolumePreview(helperNode);

    // A count from a damaged file must not flood the scene.
    const int count = std::clamp(options.count, 0, kMaxPreviewNodes);
    Interface *ip = GetCOREInterface();
    const std::string helperName = helperNode->GetName();
    std::vector<PreviewNode> nodes;
    for (int i = 0; i < count; ++i) {
        auto *gizmo = dynamic_cast<VolumeGizmo *>(static_cast<Animatable *>(
            CreateInstance(HELPER_CLASS_ID, GizmoClass(options.shape))));
        if (!gizmo) break;  // the gizmo classes are this module's own: never expected
        INode *node = ip->CreateObjectNode(gizmo);
        node->SetName(PreviewNodeName(helperName, i).c_str());
        nodes.push_back({node, gizmo});
    }
    if (nodes.empty()) return 0;

    const TimeValue before = ip->GetTime();
    const Interval range = ip->GetAnimRange();
    const int step = GetTicksPerFrame();
    const int frames = (range.End() - range.Start()) / step + 1;
    for (int f = 0; f < frames; ++f) {
        char prompt[64];
        std::snprintf(prompt, sizeof prompt, "Working on frame %d of %d", f + 1, frames);
        ReplacePrompt(prompt);
        const TimeValue t = range.Start() + f * step;
        ip->SetTime(t, FALSE);
        const HelperRecord h = helper->RecordAt(t, false);
        NimbraPlugIn *color =
            options.showParticleColor ? h.plugIns[HelperRecord::kColor] : nullptr;
        const std::vector<PreviewParticle> particles =
            CollectParticles(*helper, h, t, nodes.size());
        const float span = static_cast<float>(h.lifeEnd - h.lifeStart);

        for (std::size_t i = 0; i < nodes.size(); ++i) {
            VolumeGizmo &gizmo = *nodes[i].gizmo;
            if (i >= particles.size()) {
                KeyGizmoSize(gizmo, t, 0.0f);
                continue;
            }
            const PreviewParticle &p = particles[i];
            const int age = p.system->GetParticleAge(p.index);
            const bool alive = age >= 0 && age >= h.lifeStart && age <= h.lifeEnd;
            const Point3 position = p.system->GetParticlePosition(p.index);
            const Point3 motion = Normalize(p.system->GetParticleVelocity(p.index));
            const float fraction = span > 0.0f && alive ? (age - h.lifeStart) / span : 0.0f;

            ParticleInfo info;
            info.position = position;
            info.age = age;
            info.lifeStart = h.lifeStart;
            info.lifeEnd = h.lifeEnd;
            info.particles = p.system;
            info.particleIndex = p.index;
            transform->__EnumParticle__(&info, p.system, p.index);  // the particle to turn
            INode &node = *nodes[i].node;
            node.SetPositionKey(t, position);
            node.SetRotationKey(t, Quat(transform->__ComputeParticleRotate__(
                                       t, position, motion, fraction, 1.0f)));
            node.SetScaleKey(t, transform->__ComputeParticleScale__(t, fraction));
            KeyGizmoSize(gizmo, t,
                         alive ? h.size.At(t, h.lifeStart, h.lifeEnd, p.index, age) : 0.0f);

            Color wire = options.manualColor;
            if (color) {
                ParticleVolume volume;
                volume.center = position;
                volume.motion = motion;
                volume.phase = static_cast<float>(p.index);
                volume.age = age;
                volume.lifeStart = h.lifeStart;
                volume.lifeEnd = h.lifeEnd;
                SampleInfo sample;  // the particle's centre
                sample.volume = &volume;
                sample.worldPoint = position;
                wire = color->__GetWireFrame__(t, &sample);
            }
            if (IParamBlock *block = gizmo.GetParamBlock())
                block->SetKey(WireColorParam(gizmo), t, wire);
        }
    }
    ip->SetTime(before, FALSE);
    return static_cast<int>(nodes.size());
}
