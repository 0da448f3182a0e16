/// @file table_plugin.h
/// @brief The frame of the standard effect plug-ins: a plug-in described by tables of its
///        parameters, its age controllers and its radio choices, with the references, queries,
///        clone, library record, named properties and controller buttons that follow from them.
#pragma once

#include "framework/pixel_color.h"
#include "framework/plugin_interface.h"
#include "framework/nimbra_api.h"
#include "host/param_object.h"
#include "host/properties.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// One age controller of a plug-in: the quantity it drives and how the owner configures it.
struct ControllerSpec {
    enum Kind {
        kFloat,  ///< `__SetupFloat__ (minimum, maximum, step)`
        kColor,  ///< `__SetupColor__ (white, white, 0)`
    };
    /// Sub-animatable name ("Noise Size"), and the title of its editor unless `editorName`
    /// says otherwise.
    const char *name;
    /// The roll-up's check button that opens and closes the editor.
    int buttonId;
    Kind kind;
    float minimum = 0.0f, maximum = 0.0f, step = 0.0f;  ///< kFloat only
    /// kColor: when both are set, the two colour parameters (read at time 0) are handed to
    /// `__SetupColor__ (birth, death, 1)` right before the editor opens.
    int birthColorParam = -1, deathColorParam = -1;
    /// The title of its editor when it differs from `name`.
    const char *editorName = nullptr;

    const char *EditorName() const { return editorName ? editorName : name; }
};

/// A setting that the roll-up shows as radio buttons (`labels`) or a check box (no labels),
/// stored in an int or BOOL parameter. Scene files set it by `property` with the label of a
/// choice (or true/false); the parameter keeps the choice's index.
struct ChoiceSpec {
    const char *property;
    int param;
    std::span<const char *const> labels;  ///< empty: a switch
    const char *help;
};

/// Everything that describes one plug-in class. Parameter `i` of the block is `params[i]`;
/// controller `i` is reference `1 + i` and sub-animatable `1 + i`. A class without parameters
/// has no block, no references and no controllers.
struct PlugInLayout {
    std::span<const ParamSpec> params;
    std::span<const ControllerSpec> controllers;
    std::span<const ChoiceSpec> choices;
    /// Version of the parameter block this layout describes.
    DWORD blockVersion = 0;
    /// Parameters that the library record holds: the first `libraryParams`, or all when
    /// negative (a parameter added after the record's layout was fixed stays out of it).
    int libraryParams = -1;

    int LibraryParamCount() const {
        const int all = int(params.size());
        return libraryParams >= 0 && libraryParams < all ? libraryParams : all;
    }
};

/// Base of the standard effect plug-ins.
///
/// References: 0 the parameter block, 1 … n the controllers (created through the host's
/// `CreateInstance` and set up from the table). Sub-animatable 0 is "Parameters", the others
/// take the controllers' names. Any controller slot may be empty (a class that could not be
/// created, a damaged scene file): a missing controller evaluates to the birth value.
///
/// Library record: the 8-byte version block, then the parameters of the record (every one
/// unless the layout says otherwise) at time 0 in parameter order: ints and BOOLs as int32,
/// floats as float32, colours and points as three float32; then whatever record the class
/// appends.
class NIMBRA_API TablePlugIn : public NimbraPlugIn, public IObjectProperties {
public:
    enum { kRefParams = 0, kRefFirstController = 1 };

    ~TablePlugIn() override;

    // References and sub-animatables
    int NumRefs() override;
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    int NumSubs() override { return NumRefs(); }
    Animatable *SubAnim(int i) override { return GetReference(i); }
    TSTR SubAnimName(int i) override;
    /// Answers the parameter-name and parameter-dimension queries from the table.
    RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override;
    /// A new object of the same class holding clones of the block and the controllers.
    ReferenceTarget *Clone(RemapDir &remap) override;
    /// I_OBJECTPROPERTIES: the choices of the table.
    void *GetInterface(ULONG id) override;

    // Controllers
    int NumControllers() override;
    NimbraController *GetController(int i) override;

    // Editing
    /// Remembers the edit interface and the interface object while the roll-up is open.
    void __BeginEdit__(IObjParam *ip, NimbraInterface *iface) override;
    /// Ends every controller editor and forgets what `__BeginEdit__` remembered.
    void __EndEdit__(IObjParam *ip, NimbraInterface *iface) override;
    bool IsEditing() const { return editing_; }

    // Controller buttons: what the roll-up does when the user works one of them
    /// The controller that button `buttonId` opens, or -1.
    int ControllerForButton(int buttonId) const;
    /// Released while checked: opens controller `i`'s editor (titled by its editor name, the
    /// button remembered), after refreshing a colour controller from its two colour parameters.
    /// Released unchecked: closes the editor.
    void ControllerButtonReleased(int i, bool checked, ICustButton *button);
    /// Right click: the user may replace controller `i`
    /// (`NimbraInterface::PromptForController`); a new controller is set up with the
    /// quantity's range. A controller the user kept keeps its settings.
    void ControllerButtonRightClicked(int i);
    /// Ends the editors of all controllers.
    void EndControllerEditors();

    // Library files
    int LibrarySave(NimbraInterface *io) override;
    /// Refuses (0, nothing changes) a record of another version, a short read, a float that is
    /// not finite, and a choice or switch outside its labels.
    int LibraryLoad(NimbraInterface *io) override;
    /// Bytes of the table's fields in the record (after the version block).
    std::size_t LibraryBodySize() const;

    // Named settings (IObjectProperties)
    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

    const PlugInLayout &Layout() const { return layout_; }
    /// The block, or null (a class without parameters, or a block of another layout that a
    /// damaged file brought, which is never read).
    IParamBlock *ParamBlock() const { return block_; }

protected:
    /// A new object with its block and set-up controllers; one made for loading gets them from
    /// the file.
    TablePlugIn(const PlugInLayout &layout, bool loading);
    /// A new, empty object of the derived class (for `Clone`).
    virtual TablePlugIn *MakeForLoading() const = 0;

    // Parameters at time t; their defaults when there is no block
    int IntParam(int i, TimeValue t) const;
    float FloatParam(int i, TimeValue t) const;
    Color ColorParam(int i, TimeValue t) const;
    /// The choice parameter `i` at t: its value when it names one of `count` choices, else 0
    /// (a scene file may store any integer in the parameter).
    int ChoiceParam(int i, TimeValue t, int count) const;

    /// Configures controller `i` with its quantity's range, as after creation.
    void SetupController(int i);
    /// The reference that holds controller `i`: 1 + i, unless a class keeps references of its
    /// own among the controllers. The replacement prompt of the right click names it.
    virtual int ControllerReference(int i) const { return kRefFirstController + i; }
    /// `__Reset__` of every controller for particle `p` at frame time t.
    void ResetControllers(TimeValue t, const ParticleInfo &p);
    /// Controller `i`'s value at `age` between `birth` and `death`; the birth value where
    /// there is no controller or it writes none.
    float EvalFloat(int i, int age, float birth, float death);

    // A record that a class appends after the table's fields (that of a component it embeds)
    /// Writes it after the table's fields; 1 on success, 0 on a failed write.
    virtual int SaveAppendedRecord(NimbraInterface *io) { return 1; }
    /// Reads and checks it without changing anything; false refuses the whole record.
    virtual bool ReadAppendedRecord(NimbraInterface *io) { return true; }
    /// Sets what `ReadAppendedRecord` read, right after the table's own values are set.
    virtual void ApplyAppendedRecord() {}

    IObjParam *EditIp() const { return editIp_; }
    NimbraInterface *EditInterface() const { return editInterface_; }

private:
    const ChoiceSpec *FindChoice(const std::string &name) const;

    PlugInLayout layout_;
    IParamBlock *block_ = nullptr;
    std::vector<NimbraController *> controllers_;
    bool editing_ = false;
    IObjParam *editIp_ = nullptr;
    NimbraInterface *editInterface_ = nullptr;
};
