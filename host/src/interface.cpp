/// @file interface.cpp
/// @brief The host interface: scene ownership, nodes, selection, time, animate mode and
///        directories.
#include "host/interface.h"

#include "host/atmospheric.h"
#include "host/messages.h"
#include "host/renderer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

constexpr int kDefaultFrameRate = 30;
constexpr int kDefaultLastFrame = 100;

int frameRate = kDefaultFrameRate;
bool animateOn = false;
int animateSuspended = 0;

Interval DefaultAnimRange() {
    return Interval(0, kDefaultLastFrame * (TIME_TICKSPERSEC / kDefaultFrameRate));
}

INode *NewRoot() {
    auto *root = new INode();
    root->SetName("Scene Root");
    return root;
}

/// Calls `f` on every node below `node` (not `node` itself), depth first in child order;
/// stops and returns the node for which `f` answers true.
INode *FindBelow(INode *node, const std::function<bool(INode *)> &f) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        INode *child = node->GetChildNode(i);
        if (!child) continue;
        if (f(child)) return child;
        if (INode *found = FindBelow(child, f)) return found;
    }
    return nullptr;
}

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string DefaultConfigDir() {
    if (const char *env = std::getenv(kConfigDirEnv); env && *env) return WithSlash(env);
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return WithSlash(xdg) + "nimbra/";
    }
    if (const char *home = std::getenv("HOME"); home && *home) {
        return WithSlash(home) + ".config/nimbra/";
    }
    return "./nimbra/";
}

}  // namespace

// Time and animate mode ----------------------------------------------------------------------

int GetFrameRate() {
    return frameRate;
}

bool SetFrameRate(int fps) {
    if (fps <= 0 || TIME_TICKSPERSEC % fps != 0) return false;
    frameRate = fps;
    return true;
}

int GetTicksPerFrame() {
    return TIME_TICKSPERSEC / frameRate;
}

void AnimateOn() {
    animateOn = true;
}
void AnimateOff() {
    animateOn = false;
}
BOOL Animating() {
    return animateOn && animateSuspended == 0 ? TRUE : FALSE;
}
void SuspendAnimate() {
    ++animateSuspended;
}
void ResumeAnimate() {
    if (animateSuspended > 0) --animateSuspended;
}

// Scene environment
// ----------------------------------------------------------------------------

/// Holds the scene's atmospheric effects as references: they are deleted with it, and an
/// effect deleted elsewhere leaves the list.
class SceneEnvironment final : public ReferenceMaker {
public:
    ~SceneEnvironment() override { DeleteAllRefsFromMe(); }

    int NumRefs() override { return static_cast<int>(atmospheres_.size()); }
    ReferenceTarget *GetReference(int i) override {
        return i >= 0 && i < NumRefs() ? atmospheres_[i] : nullptr;
    }
    void SetReference(int i, ReferenceTarget *rtarg) override {
        if (i >= 0 && i < NumRefs()) atmospheres_[i] = dynamic_cast<Atmospheric *>(rtarg);
    }
    RefResult NotifyRefChanged(Interval, ReferenceTarget *hTarget, PartID &,
                               RefMessage message) override {
        if (message == REFMSG_TARGET_DELETED) std::erase(atmospheres_, hTarget);
        return REF_SUCCEED;
    }

    Atmospheric *Get(int i) { return static_cast<Atmospheric *>(GetReference(i)); }
    void Append(Atmospheric *atmos) {
        atmospheres_.push_back(nullptr);
        MakeRefByID(FOREVER, NumRefs() - 1, atmos);
    }
    void Replace(int i, Atmospheric *atmos) { ReplaceReference(i, atmos); }
    void Remove(int i) {
        DeleteReference(i);
        atmospheres_.erase(atmospheres_.begin() + i);
    }

private:
    std::vector<Atmospheric *> atmospheres_;
};

// Interface ----------------------------------------------------------------------------------

Interface::Interface()
    : root_(NewRoot()), environment_(new SceneEnvironment()), animRange_(DefaultAnimRange()) {
    root_->MakeRoot();
}

Interface::~Interface() {
    delete environment_;
    root_->DeleteThis();
    if (renderer_) renderer_->DeleteThis();
}

Interface *GetCOREInterface() {
    static Interface core;
    return &core;
}

void Interface::ReplaceScene(INode *root) {
    if (renderer_) renderer_->Close(nullptr);  // it may hold nodes of the old scene
    delete environment_;
    environment_ = new SceneEnvironment();
    ambient_ = background_ = Color();
    INode *old = root_;
    root->MakeRoot();
    root_ = root;
    old->DeleteMe();
}

int Interface::NumAtmospheric() {
    return environment_->NumRefs();
}

Atmospheric *Interface::GetAtmospheric(int i) {
    return environment_->Get(i);
}

void Interface::AddAtmosphere(Atmospheric *atmos) {
    if (atmos) environment_->Append(atmos);
}

void Interface::SetAtmospheric(int i, Atmospheric *atmos) {
    if (i < 0 || i >= NumAtmospheric()) return;
    if (atmos)
        environment_->Replace(i, atmos);
    else
        environment_->Remove(i);
}

void Interface::DeleteAtmosphere(int i) {
    if (i >= 0 && i < NumAtmospheric()) environment_->Remove(i);
}

Renderer *Interface::GetCurrentRenderer() {
    if (!renderer_) {
        auto *made =
            static_cast<Animatable *>(CreateInstance(RENDERER_CLASS_ID, SREND_CLASS_ID));
        renderer_ = dynamic_cast<Renderer *>(made);
        if (made && !renderer_) made->DeleteThis();
    }
    return renderer_;
}

INode *Interface::CreateObjectNode(Object *obj) {
    auto *node = new INode();
    const std::string base = obj && *obj->GetObjectName() ? obj->GetObjectName() : "Node";
    for (int n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%02d", n);
        if (!GetINodeByName((base + suffix).c_str())) {
            node->SetName((base + suffix).c_str());
            break;
        }
    }
    root_->AttachChild(node);
    if (obj) node->SetObjectRef(obj);
    return node;
}

void Interface::DeleteNode(INode *node, BOOL) {
    if (!node || node == root_ || node->IsRootNode()) return;
    INode *parent = node->GetParentNode() ? node->GetParentNode() : root_;
    while (node->NumberOfChildren() > 0) parent->AttachChild(node->GetChildNode(0));
    node->DeleteMe();
}

INode *Interface::GetINodeByName(const TCHAR *name) {
    if (!name) return nullptr;
    const std::string wanted = name;
    return FindBelow(root_, [&](INode *n) { return wanted == n->GetName(); });
}

void Interface::ResetScene() {
    ReplaceScene(NewRoot());
    time_ = 0;
    animRange_ = DefaultAnimRange();
    frameRate = kDefaultFrameRate;
    animateOn = false;
    animateSuspended = 0;
}

int Interface::GetSelNodeCount() {
    int count = 0;
    FindBelow(root_, [&](INode *n) {
        if (n->Selected()) ++count;
        return false;
    });
    return count;
}

INode *Interface::GetSelNode(int i) {
    if (i < 0) return nullptr;
    int seen = 0;
    return FindBelow(root_, [&](INode *n) { return n->Selected() && seen++ == i; });
}

void Interface::SelectNode(INode *node, int clearSel) {
    if (clearSel) ClearNodeSelection();
    if (node && !node->IsRootNode()) node->SetSelected(true);
}

void Interface::ClearNodeSelection(BOOL) {
    FindBelow(root_, [](INode *n) {
        n->SetSelected(false);
        return false;
    });
}

const TCHAR *Interface::GetDir(int which) {
    std::string dir;
    if (auto it = dirs_.find(which); it != dirs_.end())
        dir = it->second;
    else if (auto cfg = dirs_.find(APP_PLUGCFG_DIR); cfg != dirs_.end())
        dir = cfg->second;
    else
        dir = DefaultConfigDir();
    std::error_code ec;  // a directory that cannot be made shows when a file in it is opened
    std::filesystem::create_directories(dir, ec);
    std::string &slot = resolved_[which];
    if (slot != dir) slot = dir;
    return slot.c_str();
}

void Interface::SetDir(int which, const TCHAR *path) {
    if (path && *path)
        dirs_[which] = WithSlash(path);
    else
        dirs_.erase(which);
}
