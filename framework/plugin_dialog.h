/// @file plugin_dialog.h
/// @brief The plug-in selection dialog ("Nimbra Plug-Ins") as a window-free model: which
///        plug-ins the list shows for the chosen category, what the selection enables, and
///        the chosen plug-in ID. A user interface draws it and forwards the user's actions.
#pragma once

#include "framework/nimbra_api.h"
#include "framework/plugin_registry.h"

#include <optional>
#include <string>
#include <vector>

class NIMBRA_API PlugInDialog {
public:
    static constexpr char kTitle[] = "Nimbra Plug-Ins";
    // List columns: titles and widths in pixels
    static constexpr char kTypeColumn[] = "Type";
    static constexpr int kTypeColumnWidth = 120;
    static constexpr char kDescriptionColumn[] = "Description";
    static constexpr int kDescriptionColumnWidth = 300;

    /// The radio buttons of the "Show" group, in their order; the second one is hidden.
    enum Show {
        kShowParticleShape = 0,
        kShowHidden = 1,
        kShowColorShader = 2,
        kShowComposite = 3,
        kShowAll = 4,
    };
    // Images of the 16 × 16 image list
    static constexpr int kImageColorShader = 0;  ///< also the hidden category
    static constexpr int kImageParticleShape = 1;
    static constexpr int kImageComposite = 2;

    /// One row of the list.
    struct Item {
        std::string type;         ///< first column: the class name
        std::string description;  ///< second column
        int image = 0;
        ULONG pluginId = 0;  ///< the item's data
        std::string author;  ///< for the about box
        std::string notice;
    };

    /// The box that "About" shows.
    struct AboutText {
        std::string title;  ///< "About - " and the class name
        std::string author;
        std::string notice;
        std::string description;
    };

    /// A dialog over `registry`, starting on category `show` (a `Show` value).
    PlugInDialog(PlugInRegistry &registry, int show);

    /// Opening: the registry is emptied and read again, and the list filled.
    void Open();
    /// A click on radio button `show`: the list is filled for that category.
    void SetShow(int show);
    int GetShow() const { return show_; }

    const std::vector<Item> &Items() const { return items_; }

    /// The list's selection changed to the items at `indexes`.
    void SetSelection(const std::vector<int> &indexes);
    /// "About" and OK are enabled while exactly one item is selected.
    bool AboutEnabled() const { return selected_ >= 0; }
    bool OkEnabled() const { return selected_ >= 0; }
    /// The text after "Current Selection:": the selected item's name, or empty.
    std::string CurrentSelection() const;
    /// The chosen plug-in ID, or 0 for none.
    ULONG Result() const { return result_; }
    /// The about box of the selected item, or nothing when "About" is disabled.
    std::optional<AboutText> About() const;
    /// Cancel: no result.
    void Cancel();

private:
    void Fill();
    void AddCategory(ULONG key, int image);

    PlugInRegistry &registry_;
    int show_;
    std::vector<Item> items_;
    int selected_ = -1;  ///< the one selected item, or -1
    ULONG result_ = 0;
};
