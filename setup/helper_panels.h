/// @file helper_panels.h
/// @brief Window-free models of two of the helper's roll-ups: the button states and captions
///        of "Parameter Selection", and the texts, buttons and actions of "Selected Particle
///        Systems". A user interface draws them and forwards the user's clicks.
#pragma once

#include "framework/nimbra_api.h"

#include <array>
#include <string>

class INode;
class NimbraHelper;

constexpr char kCreateHelperFirstText[] = "You have to create the helper object first.";
/// Caption of an "Edit Current" button while no plug-in of its category is selected.
constexpr char kNotDefinedCaption[] = "<not defined>";
/// "Particle:" while no system is current.
constexpr char kNoSystemText[] = "<none>";

/// The "Parameter Selection" roll-up: which buttons take input, the check states of the three
/// "Edit Current" buttons (shape, colour, composite) and their captions.
struct ParameterSelectionState {
    bool selectParticleSystem = false;
    bool particleAge = false;
    std::array<bool, 3> editCurrent{};
    std::array<bool, 3> editCurrentChecked{};
    std::array<bool, 3> choosePlugIn{};  ///< the "O" buttons
    bool scenePreview = false;
    bool load = false;
    bool save = false;
    std::array<std::string, 3> captions;  ///< class names of the current plug-ins
};

/// The roll-up's state for `helper`. Everything is disabled while the icon still has its
/// creation size; then "Select Particle System" is enabled outside creation, and the other
/// buttons only while at least one listed system is a particle system.
NIMBRA_API ParameterSelectionState ParameterSelection(NimbraHelper &helper, bool creating);

/// The "Selected Particle Systems" roll-up over one helper: "Num:", "Particle:", "<<"
/// (Previous), ">>" (Next), "--" (Delete) and the check button "Pick".
class NIMBRA_API SelectedSystemsPanel {
public:
    explicit SelectedSystemsPanel(NimbraHelper &helper) : helper_(helper) {}

    /// "Num:": the current system's number, "0" when there is none.
    std::string NumText() const;
    /// "Particle:": the current system's node name, kNoSystemText when there is none.
    std::string ParticleText() const;

    bool PreviousEnabled() const;
    bool NextEnabled() const;
    bool DeleteEnabled() const;
    void Previous();
    void Next();
    /// Drops the current system from the helper's list.
    void Delete();

    /// "Pick" checked: enters pick mode, which disables the other three buttons. A helper
    /// that is not in the scene yet cannot pick: the user is told, "Pick" stays unchecked and
    /// the roll-up closes (false).
    bool StartPick();
    /// "Pick" unchecked: leaves pick mode.
    void EndPick() { picking_ = false; }
    bool Picking() const { return picking_; }
    /// A node the user clicked while picking: listed when the pick filter accepts it.
    bool Pick(INode *node);
    /// False once the roll-up has closed itself.
    bool IsOpen() const { return open_; }

private:
    /// The current system's node, or null.
    INode *Current() const;

    NimbraHelper &helper_;
    bool picking_ = false;
    bool open_ = true;
};
