/// @file helper.h
/// @brief The Nimbra helper object: the scene object through which one particle effect is set
///        up. It lists the particle systems it renders, holds one particle-shape, one
///        colour-shader and one composite plug-in and four age controllers, and keeps the life
///        window, sizes, transparencies and shadow settings in its age parameter block.
#pragma once

#include "framework/class_ids.h"
#include "framework/helper_record.h"
#include "framework/nimbra_api.h"
#include "setup/helper_properties.h"
#include "setup/library_dlg.h"
#include "setup/quick_preview.h"
#include "host/object.h"
#include "host/param_object.h"
#include "host/paramblock.h"

#include <array>
#include <cstdint>
#include <vector>

class INode;
class NimbraController;
class NimbraInterface;
class NimbraPlugIn;
class ParticleObject;

// Plug-in classes a new helper starts with, and the two that a volume shape brings along.
constexpr Class_ID kCircleShapeClassID(kParticleShapeKey, 0x282C0A37);
constexpr Class_ID kDefaultColorClassID(kColorShaderKey, 0x74874163);
constexpr Class_ID kDefaultCompositeClassID(kCompositeKey, 0x49120A27);
/// The age controller a new helper drives its four quantities with.
constexpr Class_ID kHelperControllerClassID = kDefaultControllerClassID;
/// The rotation composite that volume shapes need (`InterRotation`).
constexpr Class_ID kInterRotationClassID(kCompositeKey, 0x54C33997);
/// The volume colour shader that replaces the default colour under a volume shape.
constexpr Class_ID kAtmosphereColorClassID(kColorShaderKey, 0x7B0A6290);

// Message texts and titles.
constexpr char kHelperTitle[] = "Nimbra";
constexpr char kFailedToBindText[] =
    "3D Studio Max failed to bind correctly with the plug-in objects.\n\nNimbra has been "
    "incorrectly installed. Please exit 3D Studio Max,\nand then re-install Nimbra from the "
    "original disks.\n\nIf you attempt to create an Nimbra icon, then 3D Studio Max may "
    "behave unpredictably.";
constexpr char kPlugInErrorTitle[] = "Error";
constexpr char kPlugInNotLocatedText[] =
    "You have selected a plug-in, but the DLL could not be located.";

/// The descriptor of the helper ("Nimbra", category "Nimbra Helpers", super class 0x50).
NIMBRA_API ClassDesc *GetNimbraHelperDesc();

/// Number of scene nodes (the whole tree) whose object is a Nimbra helper.
NIMBRA_API int CountHelpersInScene();

/// The helper object.
///
/// References: 0 icon block, 1 age block, 2 shape, 3 colour shader, 4 composite, 5 to 8 the
/// transparency, size, shadow-transparency and shadow-size controllers, 9 + i the listed
/// particle system i. Any of 2 to 8 may be empty (a helper built while the default plug-ins
/// could not be created, or loaded from a damaged scene): every operation then treats the
/// missing object as absent, and such a helper is not rendered.
class NIMBRA_API NimbraHelper : public HelperObject, public IHelperRecord {
public:
    enum Ref {
        kRefIconBlock,
        kRefAgeBlock,
        kRefShape,
        kRefColor,
        kRefComposite,
        kRefTransController,
        kRefSizeController,
        kRefShadowTransController,
        kRefShadowSizeController,
        kRefFirstSystem,  ///< particle system i is reference kRefFirstSystem + i
    };
    enum SubAnim {
        kSubAgeBlock,
        kSubTransController,
        kSubSizeController,
        kSubShadowTransController,
        kSubShadowSizeController,
        kSubShape,
        kSubColor,
        kSubComposite,
        kSubAnimsWithPlugIns,
        kSubAnimsWithoutPlugIns = kSubShape,
    };
    /// The age block (20 parameters, version 0).
    enum AgeParam {
        kLifeBegins,  ///< ticks
        kBirthSize,
        kBirthTrans,
        kLifeEnds,  ///< ticks
        kDeathSize,
        kDeathTrans,
        kEveryNth,
        kNthOffset,
        kMaterialId,
        kUpdateZBuffer,
        kShaderActive,
        kCastShadows,
        kVolumeFog,
        kUseEmitterAge,
        kUseBrushSettings,
        kBirthShadowSize,
        kBirthShadowTrans,
        kDeathShadowSize,
        kDeathShadowTrans,
        kShadingOrder,
        kAgeParams,
    };
    /// The icon block (12 parameters, version 0): only the icon's width and length are used.
    enum IconParam { kIconWidth = 10, kIconLength = 11, kIconParams = 12 };
    /// The three plug-in roles, in reference order.
    enum Role { kShapeRole, kColorRole, kCompositeRole, kRoles };
    /// The four controllers, in `GetHelperController` order.
    enum Controller {
        kTransController,
        kSizeController,
        kShadowTransController,
        kShadowSizeController,
        kControllers
    };

    /// Icon width and length of a helper that has not been sized by its creation yet.
    static constexpr float kCreationIconSize = 0.01f;
    /// Largest "Shading Order:".
    static constexpr int kMaxShadingOrder = 200;
    /// Words of the panel state saved with the scene; 2 to 4 are the check states of the three
    /// "Edit Current" buttons (shape, colour, composite), 5 that of a hidden fourth one.
    static constexpr int kPanelStateWords = 7;
    static constexpr int kPanelEditCurrentShape = 2;
    /// Most particle systems a scene file may list for one helper (a larger count is damage).
    static constexpr std::uint32_t kMaxListedSystems = 1u << 20;

    // Scene-file chunks
    static constexpr USHORT kSystemCountChunk = 0x10;
    static constexpr USHORT kPlugInIdsChunk = 0x20;
    static constexpr USHORT kPanelStateChunk = 0x30;
    static constexpr USHORT kReservedCChunk = 0x40;
    static constexpr USHORT kReservedABChunk = 0x50;

    /// A new helper with its two parameter blocks, the default plug-ins and four set-up
    /// default controllers. When those classes cannot all be created, the user is told
    /// ("failed to bind") and the helper keeps its blocks only. A helper made for loading gets
    /// its blocks, plug-ins and controllers from the file.
    explicit NimbraHelper(bool loading = false);
    ~NimbraHelper() override;

    // Identity
    Class_ID ClassID() override { return kNimbraHelperClassID; }
    void GetClassName(TSTR &s) override { s = "Nimbra"; }
    const TCHAR *GetObjectName() override { return "Nimbra"; }
    /// I_OBJECTPROPERTIES: the helper's named settings for scene files; I_PRESETFILE: its
    /// effect library files; I_HELPERRECORD: what rendering reads of it.
    void *GetInterface(ULONG id) override;

    /// What rendering needs at t, read once: the plug-ins, the size and transparency
    /// quantities of the pass, the buffer writes, shading order, life window and every-Nth.
    HelperRecord RecordAt(TimeValue t, bool shadowPass) override;

    // Sub-animatables: 8 while all three plug-ins are present, otherwise 5
    int NumSubs() override;
    Animatable *SubAnim(int i) override;
    TSTR SubAnimName(int i) override;

    // References
    int NumRefs() override { return kRefFirstSystem + NumListedSystems(); }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    /// A deleted listed node leaves the list (its first entry only); a change redraws the
    /// quick preview; the parameter-name and dimension queries are answered from the tables.
    RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override;

    /// A new helper with clones of references 0 to 8, the same particle-system nodes
    /// (referenced, not cloned) and copies of the plug-in IDs, panel state and reserved words.
    ReferenceTarget *Clone(RemapDir &remap) override;

    // Scene files: the five chunks above. `Load` takes them in any order, skips unknown ones
    // and stops at the first read error; a chunk that is missing leaves its fields as they
    // were. Chunk kSystemCountChunk empties the list and gives it that many empty entries,
    // which the host then fills by restoring references 9 and up.
    IOResult Save(ISave *isave) override;
    IOResult Load(ILoad *iload) override;

    // The effect's life window (ticks)
    /// 0 while "Use Emitter Age" is on and emitter age is available, else "Life Begins At".
    int LifeBegins(TimeValue t);
    /// The first listed system's own life while "Use Emitter Age" is on and emitter age is
    /// available, else "Life Ends At".
    int LifeEnds(TimeValue t);
    /// TRUE when the first listed node carries a particle system of one of the host classes
    /// whose life parameter the helper knows.
    bool EmitterAgeAvailable();

    // Particle systems
    /// Number of listed nodes whose object currently offers the particle interface.
    int ParticleSystemCount() override;
    /// The particle object of the n-th (1-based) qualifying system, from its node's world
    /// state at t and updated to t for that node; null when there is no n-th system.
    ParticleObject *ParticleSystemState(int n, TimeValue t) override;
    /// The pick filter: TRUE for a node whose object offers the particle interface and that is
    /// not listed yet.
    bool AcceptsParticleSystem(INode *node);
    /// Appends `node` (reference 9 + i) when the pick filter accepts it and advances the
    /// current system by one; FALSE otherwise.
    bool AddParticleSystem(INode *node);
    /// Drops the reference of listed entry `index` (0-based) and removes it from the list; the
    /// current system becomes the last one. FALSE for an index outside the list.
    bool RemoveParticleSystem(int index);
    /// Entries of the list in picking order (an entry is null only while a scene file is
    /// being read, or when the file could not restore it).
    const std::vector<INode *> &ParticleSystems() const { return particleSystems_; }
    int NumListedSystems() const { return static_cast<int>(particleSystems_.size()); }
    /// 1-based index of the system shown in the "Selected Particle Systems" roll-up (0: none).
    int CurrentSystem() const { return currentSystem_; }
    void SetCurrentSystem(int n) { currentSystem_ = n; }

    // Plug-ins
    /// Replaces the plug-in of the category of `id` by a new instance of the registered class
    /// with that plug-in ID. When the registry does not list the ID or the class cannot be
    /// created, the user is told ("Error") and the category's default class is used instead;
    /// `categoryKey` names the category for an ID the registry does not list (without it such
    /// an ID changes nothing; so does the ID of a registered class of another category, such
    /// as a controller). The old plug-in is deleted whatever `replace` says (a helper
    /// holds exactly one plug-in per category). A volume shape brings `InterRotation` as the
    /// composite and, while the default colour is in use, the volume colour shader.
    /// Returns 1 when the class asked for was installed, 0 when a fallback was or nothing was.
    int SelectPlugIn(ULONG id, int replace, ULONG categoryKey = 0);
    /// Installs a new instance of plug-in class `id` as `SelectPlugIn` does, but without a
    /// fall-back or a message: FALSE, changing nothing, when the class is not a shape, colour
    /// shader or composite, or cannot be created.
    bool SelectPlugInClass(Class_ID id);
    NimbraPlugIn *GetPlugIn(Role role) const { return plugIns_[role]; }
    NimbraPlugIn *Shape() const { return plugIns_[kShapeRole]; }
    NimbraPlugIn *ColorShader() const { return plugIns_[kColorRole]; }
    NimbraPlugIn *Composite() const { return plugIns_[kCompositeRole]; }
    /// The plug-in IDs of the current selections (0: none).
    ULONG PlugInId(Role role) const { return plugInIds_[role]; }
    ULONG ShapeId() const { return plugInIds_[kShapeRole]; }
    ULONG ColorId() const { return plugInIds_[kColorRole]; }
    ULONG CompositeId() const { return plugInIds_[kCompositeRole]; }
    ULONG SpareId() const { return spareId_; }
    /// How many of the three plug-ins serve the volume renderer.
    int VolumePlugInCount() const;
    /// All three plug-ins serve the volume renderer: the sprite renderer skips the helper and
    /// the age panel takes its reduced layout.
    bool IsVolumeSetup() const { return VolumePlugInCount() == kRoles; }

    // Controllers
    /// Always 4.
    int ControllerCount() const { return kControllers; }
    /// Controller i in the order trans, size, shadow trans, shadow size; null beyond.
    NimbraController *GetHelperController(int i) const;
    /// Replaces controller i by a new instance of controller class `id` and sets it up; FALSE,
    /// changing nothing, when the class cannot be created.
    bool ReplaceController(int i, Class_ID id);
    /// Gives controller i its range (`__SetupFloat__`): 0 … 1 step 0.05 for the two
    /// transparencies, 0 … 9999 step 0.5 for the two sizes. Owners call it after replacing a
    /// controller.
    void SetupController(int i);

    // Parameter blocks
    IParamBlock *IconBlock() const { return iconBlock_; }
    IParamBlock *AgeBlock() const { return ageBlock_; }
    /// The larger of the icon's width and length at t.
    float IconSize(TimeValue t) const;
    /// Sets the icon's width and length (world units).
    void SetIconSize(float width, float length);
    /// Age parameter `i` at t (0 without an age block).
    int AgeInt(int i, TimeValue t) const;
    float AgeFloat(int i, TimeValue t) const;

    // Fields saved with the scene that only the panels use
    std::array<std::int32_t, kPanelStateWords> &PanelState() { return panelState_; }
    const std::array<std::int32_t, kPanelStateWords> &PanelState() const { return panelState_; }
    std::int32_t ReservedA() const { return reservedA_; }
    std::int32_t ReservedB() const { return reservedB_; }
    std::int32_t ReservedC() const { return reservedC_; }

    /// The scene node that carries this helper (looked up and remembered), or null while the
    /// helper is in no scene.
    INode *FindNode();
    /// The quick preview's state (slider age, transparency switch, redraw request).
    QuickPreview &Preview() { return quickPreview_; }
    /// The interface object passed to every plug-in call that takes one.
    NimbraInterface *Iface() const { return interface_; }

    // Library files: the helper block (version block, then the seventeen stored age
    // parameters at time 0) through `io->fwrite` / `io->fread`
    /// 1 on success, 0 when there is no age block, a value is one `LibraryLoad` refuses (the
    /// file would not load) or a write does not report one item.
    int LibrarySave(NimbraInterface *io);
    /// 1 on success. 0, changing nothing, on a short read, a version word other than 256, a
    /// float that is not finite or a value outside its range in `AgeParamSpecs`. Values are
    /// set at time 0, never as new keys.
    int LibraryLoad(NimbraInterface *io);
    /// Tells the dependents that sub-objects were replaced (the library loader replaces
    /// controllers itself).
    void NotifyStructureChanged();

    /// A new instance of plug-in or controller class `id`, or null when it cannot be created
    /// or is not of that kind.
    static NimbraPlugIn *NewPlugIn(Class_ID id);
    static NimbraController *NewController(Class_ID id);

    /// The category key of the plug-ins of `role`, and the class a new helper starts with.
    static ULONG CategoryKey(Role role);
    static Class_ID DefaultClass(Role role);

    /// The age block's table: names, types, dimensions, defaults and ranges ("Shading Order:"
    /// and "Life Ends At" get their defaults from the scene when a helper is built).
    static const ParamSpec *AgeParamSpecs();

private:
    /// Creates the default plug-ins and controllers; false (nothing kept) when any of them
    /// cannot be created.
    bool BindDefaults();
    /// Makes `plugIn` the plug-in of `role` (the old one is deleted) and records its ID; FALSE
    /// (and `plugIn` deleted) when it cannot be referenced.
    bool InstallPlugIn(Role role, NimbraPlugIn *plugIn);
    /// A volume shape needs the rotation composite and, instead of the default colour, the
    /// volume colour shader.
    void ApplyVolumeShapeRule();
    void WriteDefaults();
    /// Drops every listed system (used before a scene file's list is read).
    void ClearParticleSystems();

    NimbraInterface *interface_;
    std::array<NimbraPlugIn *, kRoles> plugIns_{};
    QuickPreview quickPreview_;
    INode *node_ = nullptr;
    IParamBlock *iconBlock_ = nullptr;
    IParamBlock *ageBlock_ = nullptr;
    std::array<NimbraController *, kControllers> controllers_{};
    std::array<ULONG, kRoles> plugInIds_{};
    ULONG spareId_ = 0;
    std::int32_t reservedA_ = 0;
    std::int32_t reservedB_ = 0;
    std::int32_t reservedC_ = 16;
    std::vector<INode *> particleSystems_;
    std::array<std::int32_t, kPanelStateWords> panelState_{};
    int currentSystem_ = 0;

    HelperProperties properties_{*this};
    HelperPresetFile presetFile_{*this};
};
