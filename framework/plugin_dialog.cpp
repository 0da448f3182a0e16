/// @file plugin_dialog.cpp
/// @brief Filling and selection of the plug-in selection dialog.
#include "framework/plugin_dialog.h"

#include "framework/class_ids.h"

PlugInDialog::PlugInDialog(PlugInRegistry &registry, int show)
    : registry_(registry), show_(show) {}

void PlugInDialog::Open() {
    registry_.Reload();
    Fill();
}

void PlugInDialog::SetShow(int show) {
    show_ = show;
    Fill();
}

void PlugInDialog::Fill() {
    items_.clear();
    switch (show_) {
        case kShowParticleShape:
            AddCategory(kParticleShapeKey, kImageParticleShape);
            break;
        case kShowHidden:
            AddCategory(kHiddenCategoryKey, kImageColorShader);
            break;
        case kShowColorShader:
            AddCategory(kColorShaderKey, kImageColorShader);
            break;
        case kShowComposite:
            AddCategory(kCompositeKey, kImageComposite);
            break;
        case kShowAll:
            AddCategory(kParticleShapeKey, kImageParticleShape);
            AddCategory(kHiddenCategoryKey, kImageColorShader);
            AddCategory(kColorShaderKey, kImageColorShader);
            AddCategory(kCompositeKey, kImageComposite);
            break;
        default:
            break;
    }
    // A new list has no selection.
    SetSelection({});
}

void PlugInDialog::AddCategory(ULONG key, int image) {
    for (int i = 0; i < registry_.Count(); ++i) {
        const PlugInRecord *record = registry_.Get(i);
        if (record->categoryKey == key)
            items_.push_back(
                {record->className, record->description, image, record->pluginId, record});
    }
}

void PlugInDialog::SetSelection(const std::vector<int> &indexes) {
    const bool one =
        indexes.size() == 1 && indexes[0] >= 0 && indexes[0] < static_cast<int>(items_.size());
    selected_ = one ? indexes[0] : -1;
    result_ = one ? items_[selected_].pluginId : 0;
}

std::string PlugInDialog::CurrentSelection() const {
    return selected_ >= 0 ? items_[selected_].type : std::string();
}

std::optional<PlugInDialog::AboutText> PlugInDialog::About() const {
    if (selected_ < 0) return std::nullopt;
    const PlugInRecord &record = *items_[selected_].record;
    return AboutText{"About - " + record.className, record.author, record.notice,
                     record.description};
}

void PlugInDialog::Cancel() {
    result_ = 0;
}
