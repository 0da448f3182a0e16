/// @file info_command.cpp
/// @brief Prints what the module loader found.
#include "info_command.h"

#include "host/class_desc.h"
#include "host/diagnostics.h"
#include "host/noise.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

/// Readable names of the super classes the modules use.
const char *SuperClassName(SClass_ID super) {
    switch (super) {
        case GEOMOBJECT_CLASS_ID:
            return "geometric object";
        case CAMERA_CLASS_ID:
            return "camera";
        case LIGHT_CLASS_ID:
            return "light";
        case HELPER_CLASS_ID:
            return "helper";
        case REF_MAKER_CLASS_ID:
            return "reference target";
        case MATERIAL_CLASS_ID:
            return "material";
        case FLT_CLASS_ID:
            return "image filter";
        case RENDERER_CLASS_ID:
            return "renderer";
        case ATMOSPHERIC_CLASS_ID:
            return "atmospheric";
        default:
            return "other";
    }
}

std::string Format(const char *format, auto... values) {
    char text[128];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string Text(const TCHAR *text) {
    return text ? text : "";
}

/// One row of a module's class table.
struct ClassRow {
    std::string name, super, id, category;
    bool isPublic;
};

void PrintClasses(const std::vector<ClassDesc *> &classes) {
    std::vector<ClassRow> rows;
    for (ClassDesc *desc : classes) {
        const Class_ID id = desc->ClassID();
        rows.push_back(
            {Text(desc->ClassName()),
             Format("0x%04X %s", desc->SuperClassID(), SuperClassName(desc->SuperClassID())),
             Format("0x%08X, 0x%08X", id.PartA(), id.PartB()), Text(desc->Category()),
             desc->IsPublic() != 0});
    }
    std::size_t nameWidth = 5, superWidth = 11;
    for (const ClassRow &r : rows) {
        nameWidth = std::max(nameWidth, r.name.size());
        superWidth = std::max(superWidth, r.super.size());
    }
    const int nw = static_cast<int>(nameWidth), sw = static_cast<int>(superWidth);
    std::printf("    %-*s  %-*s  %-22s  %s\n", nw, "CLASS", sw, "SUPER CLASS", "CLASS ID",
                "CATEGORY");
    for (const ClassRow &r : rows)
        std::printf("    %-*s  %-*s  %-22s  %s%s\n", nw, r.name.c_str(), sw, r.super.c_str(),
                    r.id.c_str(), r.category.c_str(), r.isPublic ? "" : " (not public)");
}

int RunInfo(const GlobalOptions &options) {
    AppContext context(options);
    std::printf("Plug-in directories:\n");
    for (const auto &directory : context.PluginDirectories())
        std::printf("  %s\n", directory.c_str());
    if (context.PluginDirectories().empty())
        std::printf("  (none found; name one with --plugins DIR or NIMBRA_PLUGIN_PATH)\n");
    std::printf("Configuration directory: %s\n", context.ConfigDirectory().empty()
                                                     ? "(host default)"
                                                     : context.ConfigDirectory().c_str());
    // Which instruction set the noise batches run on (NIMBRA_NOISE_TARGET forces one).
    std::string targets;
    for (const std::string &t : noiseTargets()) targets += (targets.empty() ? "" : " ") + t;
    std::printf("Noise instruction set: %s (this CPU: %s)\n", noiseTarget().c_str(),
                targets.c_str());

    const ModuleLoader &loader = context.LoadModules();
    std::printf("\nModules: %zu loaded, %zu failed\n", loader.Modules().size(),
                loader.Failures().size());
    for (const LoadedModule &module : loader.Modules()) {
        std::printf("\n  %s: %s\n", module.name.c_str(), module.description.c_str());
        std::printf("    %s\n", module.path.c_str());
        std::printf("    %zu class%s\n", module.classes.size(),
                    module.classes.size() == 1 ? "" : "es");
        if (!module.classes.empty()) PrintClasses(module.classes);
    }
    // What the modules report about themselves (the plug-in registry, for one).
    for (const DiagnosticsSection &section : CollectDiagnostics()) {
        std::printf("\n%s:\n%s", section.title.c_str(), section.text.c_str());
        if (!section.text.empty() && section.text.back() != '\n') std::printf("\n");
    }
    if (!loader.Failures().empty()) {
        std::printf("\nFailed:\n");
        for (const ModuleProblem &failure : loader.Failures())
            std::printf("  %s: %s\n", failure.path.c_str(), failure.reason.c_str());
    }
    if (!loader.Skipped().empty()) {
        std::printf("\nSkipped:\n");
        for (const ModuleProblem &skipped : loader.Skipped())
            std::printf("  %s: %s\n", skipped.path.c_str(), skipped.reason.c_str());
    }
    std::fflush(stdout);
    return loader.Failures().empty() ? kExitSuccess : kExitFailure;
}

}  // namespace

Command AddInfoCommand(CLI::App &app) {
    CLI::App *info =
        app.add_subcommand("info", "List the modules, their classes, and what failed to load");
    info->footer(
        "Loads every module of the plug-in directories and prints, per module, its name,\n"
        "description and file, and per class its name, super class, class ID and category;\n"
        "then what the modules report (the plug-in registry by category), and the modules\n"
        "that failed to load and why. Exits with 1 when a module failed.\n\n"
        "Examples:\n"
        "  nimbra info                          modules next to the program\n"
        "  nimbra --plugins ./my-plugins info   only the modules of ./my-plugins\n"
        "  NIMBRA_PLUGIN_PATH=/opt/fx nimbra info\n"
        "                                       /opt/fx first, then the default directories");
    return {info, RunInfo};
}
