/// @file helper_panels.cpp
/// @brief Button states of the helper's "Parameter Selection" and "Selected Particle Systems"
///        roll-ups.
#include "setup/helper_panels.h"

#include "framework/plugin_registry.h"
#include "setup/helper.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"

ParameterSelectionState ParameterSelection(NimbraHelper &helper, bool creating) {
    ParameterSelectionState state;
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        const ULONG id = helper.PlugInId(static_cast<NimbraHelper::Role>(role));
        const PlugInRecord *record = id ? ThePlugInRegistry().FindById(id) : nullptr;
        state.captions[role] = record ? record->className : kNotDefinedCaption;
    }
    float width = 0.0f, length = 0.0f;
    if (IParamBlock *icon = helper.IconBlock()) {
        icon->GetValue(NimbraHelper::kIconWidth, 0, width);
        icon->GetValue(NimbraHelper::kIconLength, 0, length);
    }
    if (width == NimbraHelper::kCreationIconSize && length == NimbraHelper::kCreationIconSize)
        return state;  // not sized by its creation yet
    state.selectParticleSystem = !creating;
    const bool systems = helper.ParticleSystemCount() > 0;
    state.particleAge = state.scenePreview = state.load = state.save = systems;
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        state.editCurrent[role] = state.choosePlugIn[role] = systems;
        state.editCurrentChecked[role] =
            systems && helper.PanelState()[NimbraHelper::kPanelEditCurrentShape + role] == 1;
    }
    return state;
}

INode *SelectedSystemsPanel::Current() const {
    const int n = helper_.CurrentSystem();
    return n >= 1 && n <= helper_.NumListedSystems() ? helper_.ParticleSystems()[n - 1]
                                                     : nullptr;
}

std::string SelectedSystemsPanel::NumText() const {
    const int n = helper_.CurrentSystem();
    return std::to_string(n >= 1 && n <= helper_.NumListedSystems() ? n : 0);
}

std::string SelectedSystemsPanel::ParticleText() const {
    INode *node = Current();
    return node ? node->GetName() : kNoSystemText;
}

bool SelectedSystemsPanel::PreviousEnabled() const {
    return !picking_ && helper_.CurrentSystem() >= 2;
}

bool SelectedSystemsPanel::NextEnabled() const {
    return !picking_ && helper_.CurrentSystem() < helper_.NumListedSystems();
}

bool SelectedSystemsPanel::DeleteEnabled() const {
    const int n = helper_.CurrentSystem();
    return !picking_ && n >= 1 && n <= helper_.NumListedSystems();
}

void SelectedSystemsPanel::Previous() {
    if (PreviousEnabled()) helper_.SetCurrentSystem(helper_.CurrentSystem() - 1);
}

void SelectedSystemsPanel::Next() {
    if (NextEnabled()) helper_.SetCurrentSystem(helper_.CurrentSystem() + 1);
}

void SelectedSystemsPanel::Delete() {
    if (DeleteEnabled()) helper_.RemoveParticleSystem(helper_.CurrentSystem() - 1);
}

bool SelectedSystemsPanel::StartPick() {
    if (!helper_.FindNode()) {
        MessageBox(GetCOREInterface()->GetMainHWnd(), kCreateHelperFirstText, kHelperTitle,
                   MB_OK);
        picking_ = false;
        open_ = false;
        return false;
    }
    picking_ = true;
    return true;
}

bool SelectedSystemsPanel::Pick(INode *node) {
    return picking_ && helper_.AddParticleSystem(node);
}
