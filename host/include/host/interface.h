/// @file interface.h
/// @brief The host interface: the scene (root node, node creation and deletion, lookup,
///        selection, environment), time, the animate mode, the configuration directories and
///        the current renderer.
#pragma once

#include "host/animatable.h"
#include "host/inode.h"
#include "host/object.h"

#include <map>
#include <string>

// ---------------------------------------------------------------------------------------------
// Time

/// Ticks per second: times are integers in 1/4800 s.
constexpr TimeValue TIME_TICKSPERSEC = 4800;

/// Frames per second of the scene (30 unless changed).
int GetFrameRate();
/// Sets the frame rate; it must divide TIME_TICKSPERSEC (returns false and keeps the old rate
/// otherwise).
bool SetFrameRate(int fps);
/// Ticks per frame: TIME_TICKSPERSEC / frame rate (160 at 30 fps).
int GetTicksPerFrame();

// ---------------------------------------------------------------------------------------------
// Animate mode: while on, setting an animatable parameter records a key (see paramblock.h).

void AnimateOn();
void AnimateOff();
/// TRUE while the animate mode is on and not suspended.
BOOL Animating();
/// Suspends the animate mode until the matching `ResumeAnimate` (calls nest).
void SuspendAnimate();
void ResumeAnimate();

// ---------------------------------------------------------------------------------------------
// Directories

/// The per-installation configuration directory (where "nimbra.reg" lives).
constexpr int APP_PLUGCFG_DIR = 15;
/// Environment variable that overrides the configuration directory.
constexpr const char *kConfigDirEnv = "NIMBRA_CONFIG_DIR";

class Atmospheric;
class Renderer;
class SceneEnvironment;

// ---------------------------------------------------------------------------------------------

/// The host interface; one per process (`GetCOREInterface`). It owns the scene: the root node
/// and, through references, every node and object below it.
class Interface {
public:
    Interface();
    /// Deletes the scene. Modules must still be loaded then (their objects' code runs):
    /// whoever unloads modules resets the scene first.
    ~Interface();
    Interface(const Interface &) = delete;
    Interface &operator=(const Interface &) = delete;

    // Time
    TimeValue GetTime() const { return time_; }
    void SetTime(TimeValue t, BOOL redraw = TRUE) { time_ = t; }
    /// The animation range (frames 0 to 100 unless changed).
    Interval GetAnimRange() const { return animRange_; }
    void SetAnimRange(Interval range) { animRange_ = range; }

    // Scene
    INode *GetRootNode() { return root_; }
    /// A new node carrying `obj`, a child of the root, named after the object's name with the
    /// first free two-digit number ("Sphere01").
    INode *CreateObjectNode(Object *obj);
    /// Deletes `node` (makers that reference it, such as a helper listing it, get
    /// REFMSG_TARGET_DELETED and lose it) and its object unless something else references the
    /// object. Its children move to its parent. The root node is never deleted.
    void DeleteNode(INode *node, BOOL redraw = TRUE);
    /// The first node (depth first from the root) with that name, or null.
    INode *GetINodeByName(const TCHAR *name);
    /// Deletes every node and restores the defaults of time, animation range, frame rate and
    /// animate mode.
    void ResetScene();

    // Environment: the scene's atmospheric effects, ambient light and background. They belong
    // to the scene: `ResetScene` and loading a scene file remove the effects and restore the
    // default colours (black ambient and background).
    int NumAtmospheric();
    /// Effect i in order, or null out of range.
    Atmospheric *GetAtmospheric(int i);
    /// Appends `atmos`; the scene owns it from then on.
    void AddAtmosphere(Atmospheric *atmos);
    /// Replaces effect i by `atmos`; the old one is deleted.
    void SetAtmospheric(int i, Atmospheric *atmos);
    /// Removes effect i and deletes it.
    void DeleteAtmosphere(int i);
    Color GetAmbient(TimeValue t, Interval *valid = nullptr) const { return ambient_; }
    void SetAmbient(TimeValue t, const Color &c) { ambient_ = c; }
    Color GetBackGround(TimeValue t, Interval *valid = nullptr) const { return background_; }
    void SetBackGround(TimeValue t, const Color &c) { background_ = c; }

    // Rendering
    /// The scene renderer used for production renders and post-production, created on first
    /// use; null when no renderer is installed. A scene reset or load closes it.
    Renderer *GetCurrentRenderer();

    // Selection (selected nodes are counted depth first from the root)
    int GetSelNodeCount();
    INode *GetSelNode(int i);
    /// Selects `node`, first deselecting every other node when `clearSel` is nonzero.
    void SelectNode(INode *node, int clearSel = 1);
    void ClearNodeSelection(BOOL redraw = TRUE);

    // Directories
    /// Directory `which`, ending with '/', created if it does not exist yet. The configuration
    /// directory (APP_PLUGCFG_DIR) is, in order of precedence: what `SetDir` set, the
    /// environment variable NIMBRA_CONFIG_DIR, $XDG_CONFIG_HOME/nimbra/, ~/.config/nimbra/.
    /// Any other directory is the configuration directory unless `SetDir` set it. The pointer
    /// stays valid until the directory changes.
    const TCHAR *GetDir(int which);
    void SetDir(int which, const TCHAR *path);

    /// The main window; null (there is none in batch mode).
    HWND GetMainHWnd() const { return nullptr; }

private:
    friend class SceneSwap;
    /// Installs `root` as the scene root and deletes the previous scene and its environment.
    void ReplaceScene(INode *root);

    INode *root_ = nullptr;
    SceneEnvironment *environment_ = nullptr;  // holds the atmospherics as references
    Color ambient_, background_;
    Renderer *renderer_ = nullptr;
    TimeValue time_ = 0;
    Interval animRange_;
    std::map<int, std::string> dirs_;  // set with SetDir
    std::map<int, std::string> resolved_;
};

/// The host interface of this process.
Interface *GetCOREInterface();
