/// @file nimbra_interface.cpp
/// @brief The interface object: library file access, the selected helper, the buffers and the
///        controller swap.
#include "framework/nimbra_interface.h"

#include "framework/class_ids.h"
#include "framework/plugin_interface.h"
#include "framework/plugin_registry.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kControllersTitle[] = "Controllers";
constexpr char kControllerMissingTitle[] = "Error";
constexpr char kControllerMissingText[] =
    "You selected an IPC controller, but\n the DLL could not be located.";

/// The one interface object, constructed when the module is loaded.
NimbraInterface theInterface;

bool LessIgnoringCase(const std::string &a, const std::string &b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) {
                                            return std::tolower(static_cast<unsigned char>(x)) <
                                                   std::tolower(static_cast<unsigned char>(y));
                                        });
}

/// A new controller of class (kControllerKey, pluginId), or null when the class is not
/// installed or makes no controller.
NimbraController *CreateController(ULONG pluginId) {
    void *made = CreateInstance(REF_MAKER_CLASS_ID, Class_ID(kControllerKey, pluginId));
    if (!made) return nullptr;
    auto *object = static_cast<Animatable *>(made);
    auto *controller = dynamic_cast<NimbraController *>(object);
    if (!controller) object->DeleteThis();
    return controller;
}

}  // namespace

NimbraInterface *GetNimbraInterface() {
    return &theInterface;
}

NimbraInterface::NimbraInterface() = default;

NimbraInterface::~NimbraInterface() {
    EraseBuffers(0);
}

unsigned NimbraInterface::fwrite(const void *data, unsigned size, unsigned count) {
    return file ? static_cast<unsigned>(std::fwrite(data, size, count, file)) : 0;
}

unsigned NimbraInterface::fread(void *data, unsigned size, unsigned count) {
    return file ? static_cast<unsigned>(std::fread(data, size, count, file)) : 0;
}

// ---------------------------------------------------------------------------------------------
// Selected helper

INode *NimbraInterface::SingleSelectedHelper() {
    Interface *ip = GetCOREInterface();
    if (ip->GetSelNodeCount() != 1) return nullptr;
    INode *node = ip->GetSelNode(0);
    Object *object = node ? node->GetObjectRef() : nullptr;
    return object && object->ClassID() == kNimbraHelperClassID ? node : nullptr;
}

void NimbraInterface::RememberHelper(const INode *node) {
    std::strncpy(selectedHelperName, node->GetName(), kHelperNameLength - 1);
    selectedHelperName[kHelperNameLength - 1] = '\0';
}

void NimbraInterface::SetSelHelperOnly(int on) {
    selHelperOnly = on;
    if (!on) return;
    if (INode *node = SingleSelectedHelper()) RememberHelper(node);
}

INode *NimbraInterface::GetCurrentlySelectedHelper() {
    if (!selHelperOnly) return nullptr;
    if (INode *node = SingleSelectedHelper()) {
        RememberHelper(node);
        return node;
    }
    // No name remembered yet: no node, rather than some node that happens to have no name.
    if (selectedHelperName[0] == '\0') return nullptr;
    return GetCOREInterface()->GetINodeByName(selectedHelperName);
}

// ---------------------------------------------------------------------------------------------
// Buffers

void NimbraInterface::CreateBuffers(int key, int width, int height) {
    if (buffersExist && width == bufferWidth && height == bufferHeight) return;
    EraseBuffers(key);
    if (width <= 0 || height <= 0) return;
    const std::size_t pixels =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    zBuffer = new float[pixels];
    mtlBuffer = new unsigned char[pixels];
    std::fill_n(zBuffer, pixels, kBufferEmptyDepth);
    std::fill_n(mtlBuffer, pixels, static_cast<unsigned char>(0));
    bufferKey = key;
    bufferWidth = width;
    bufferHeight = height;
    buffersExist = 1;
}

void NimbraInterface::EraseBuffers(int) {
    if (!buffersExist) return;
    buffersExist = 0;
    delete[] zBuffer;
    delete[] mtlBuffer;
    zBuffer = nullptr;
    mtlBuffer = nullptr;
}

void NimbraInterface::IntergrateBuffers(int, Bitmap *) {}

// ---------------------------------------------------------------------------------------------
// Controller swap

void NimbraInterface::PromptForController(ReferenceTarget *owner, int refIndex) {
    DbgAssert(owner && refIndex >= 0 && refIndex < owner->NumRefs());
    auto *controller = dynamic_cast<NimbraController *>(owner->GetReference(refIndex));
    DbgAssert(controller);
    Interface *ip = GetCOREInterface();
    if (controller->button) controller->button->SetCheck(FALSE);
    controller->__EndEdit__(ip);

    // The registered controller classes by name, sorted as a sorted list box shows them. The
    // user interface that answers places the list near the mouse cursor.
    const PlugInRegistry &registry = ThePlugInRegistry();
    std::vector<std::string> names;
    for (int i = 0; i < registry.Count(); ++i)
        if (registry.Get(i)->categoryKey == kControllerKey)
            names.push_back(registry.Get(i)->className);
    std::stable_sort(names.begin(), names.end(), LessIgnoringCase);

    const std::optional<int> choice =
        GetUserInterface().ChooseFromList({ip->GetMainHWnd(), kControllersTitle, names});
    if (!choice || *choice < 0 || *choice >= static_cast<int>(names.size())) return;
    const PlugInRecord *chosen = nullptr;
    for (int i = 0; i < registry.Count() && !chosen; ++i) {
        const PlugInRecord *record = registry.Get(i);
        if (record->categoryKey == kControllerKey && record->className == names[*choice])
            chosen = record;
    }
    DbgAssert(chosen);

    NimbraController *replacement = CreateController(chosen->pluginId);
    if (!replacement) {
        MessageBox(ip->GetMainHWnd(), kControllerMissingText, kControllerMissingTitle,
                   MB_OK | MB_ICONERROR);
        return;
    }
    // Refused only when the new controller would reference its owner; it is nobody's then.
    if (owner->ReplaceReference(refIndex, replacement, TRUE) != REF_SUCCEED)
        replacement->DeleteThis();
}
