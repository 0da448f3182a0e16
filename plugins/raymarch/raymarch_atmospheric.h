/// @file raymarch_atmospheric.h
/// @brief The ray-march atmospheric: renders the particle volumes of the picked Nimbra
///        helpers along every camera ray segment, lit by the picked lights. One class, three
///        modes: 1 GhostBeam (lit march), 2 Combustion (self-luminous march), 3 InkToon (the
///        lit march shaded as cartoon bands).
#pragma once

#include "plugins/raymarch/combustion_march.h"
#include "plugins/raymarch/ghostbeam_march.h"

#include "host/atmospheric.h"
#include "host/paramblock.h"

#include <mutex>
#include <string>
#include <vector>

class RayMarchAtmospheric final : public Atmospheric {
public:
    enum Mode { kGhostBeam = 1, kCombustion = 2, kInkToon = 3 };
    enum Param {
        kStep,  ///< world step; sample count in Combustion
        kLighting,
        kShadowDetail,  ///< 0 Perfect, 1 High, 2 Medium, 3 Low, 4 User
        kUserShadowDetail,
        kBacklighting,
        kGlowRadius,
        kLowThreshold,
        kHighThreshold,
        kFalloff,
        kLowColor,
        kHighColor,
        kUseLowThreshold,
        kSunbeams,
        kDepthLimit,
        kCombustionStyle,
        kAssumeSolidColor,
        kProgressive,
        kRefinements,
        kParams
    };
    static constexpr DWORD kBlockVersion = 3;

    /// A mode outside 1 … 3 becomes GhostBeam; `ModeProblem` then says so.
    explicit RayMarchAtmospheric(int mode, bool loading = false);
    /// Hands the volumes' caches back to the plug-ins that made them.
    ~RayMarchAtmospheric() override;

    /// The shader name and class of a mode (1 … 3).
    static const TCHAR *ModeName(int mode);
    static Class_ID ModeClassID(int mode);

    int GetMode() const { return mode_; }
    TSTR GetName() override;
    Class_ID ClassID() override;
    IParamBlock *ParamBlock() const { return pblock_; }

    // Reference 0 is the parameter block, reference i + 1 gizmo i (helper or light nodes).
    int NumRefs() override { return 1 + static_cast<int>(nodes_.size()); }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    RefResult NotifyRefChanged(Interval, ReferenceTarget *target, PartID &,
                               RefMessage message) override;

    int NumGizmos() override { return static_cast<int>(nodes_.size()); }
    INode *GetGizmo(int i) override;
    void DeleteGizmo(int i) override;
    void InsertGizmo(int i, INode *node) override;
    /// Nimbra helpers whose three plug-ins serve the volume renderer, and lights.
    BOOL OKGizmo(INode *node) override;

    /// Collects the picked helpers' particle volumes at t, builds their hierarchy, reads the
    /// settings and prepares the plug-ins' per-volume caches.
    void Update(TimeValue t, Interval &valid) override;
    /// Marches the segment through the volumes it crosses and composites over what it
    /// arrived with; a segment that crosses none is left as it is. Safe from several threads.
    void Shade(ShadeContext &sc, const Point3 &p0, const Point3 &p1, Color &color, Color &trans,
               BOOL isBG = FALSE) override;

    /// What kept the last update from rendering anything (empty when nothing did): a mode out
    /// of range, a picked node that is neither a volume helper nor a light.
    const std::string &Problem() const { return problem_; }

private:
    void ReleaseCaches(TimeValue t);
    /// Shows the update's problem unless it was shown already.
    void ReportProblem();
    /// Keeps the march's nearest sample in the depth and material buffers at its pixel.
    void WriteDepth(ShadeContext &sc, const MarchResult &march);

    int mode_;
    IParamBlock *pblock_ = nullptr;
    std::vector<INode *> nodes_;
    MarchFrame frame_;
    CombustionStyle combustion_;  ///< mode 2's sampling and accumulation
    std::vector<INode *> lightNodes_;
    bool marchable_ = false;
    bool regionRender_ = false;  ///< a preview of `region_` only
    RECT region_{};
    TimeValue cacheTime_ = 0;
    std::string modeProblem_;  ///< a mode given out of range, kept for every update
    std::string problem_;
    std::string reported_;     ///< the problem last shown
    std::mutex buffersMutex_;  ///< render threads write the depth buffers one at a time
};
