/// @file plugin_dialog.cpp
/// @brief Filling and selection of the plug-in selection dialog.
#include "framework/plugin_dialog.h"

#include "framework/class_ids.h"

#include <iterator>

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
    // The categories in radio-button order, which is also the order "All" lists them in.
    struct Listed {
        ULONG key;
        int image;
    };
    static constexpr Listed kListed[] = {{kParticleShapeKey, kImageParticleShape},
                                         {kHiddenCategoryKey, kImageColorShader},
                                         {kColorShaderKey, kImageColorShader},
                                         {kCompositeKey, kImageComposite}};
    static_assert(std::size(kListed) == kShowAll);
    items_.clear();
    for (int i = 0; i < kShowAll; ++i)
        if (show_ == i || show_ == kShowAll) AddCategory(kListed[i].key, kListed[i].image);
    // A new list has no selection.
    SetSelection({});
}

void PlugInDialog::AddCategory(ULONG key, int image) {
    for (int i = 0; i < registry_.Count(); ++i) {
        const PlugInRecord *record = registry_.Get(i);
        if (record->categoryKey == key)
            items_.push_back({record->className, record->description, image, record->pluginId,
                              record->author, record->notice});
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
    const Item &item = items_[selected_];
    return AboutText{"About - " + item.type, item.author, item.notice, item.description};
}

void PlugInDialog::Cancel() {
    result_ = 0;
}
