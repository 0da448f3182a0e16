/// @file openjd_template_test.cpp
/// @brief `nimbra farm openjd` writes a job template that keeps the rules of the Open Job
///        Description template format (2023-09, task chunking), and whose tasks, run by hand
///        as a scheduler would run them, render the shot's frames.
#include "common/temp_folder.h"
#include "program_run.h"
#include "same_frames.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <algorithm>
#include <cctype>
#include <map>
#include <set>

using apptest::ProgramRun;
using apptest::RunNimbra;
using apptest::RunProgram;
using nlohmann::json;

namespace {

/// The template format's own name for its version field, and the version written.
constexpr char kFormatVersionKey[] = "specificationVersion";
constexpr char kFormatVersion[] = "jobtemplate-2023-09";

// The template format's rules, written out --------------------------------------------------

/// 1 … 64 of [A-Za-z0-9_], not starting with a digit; extensions: 3 … 128 of [A-Z0-9_].
bool IsIdentifier(const json &v) {
    if (!v.is_string()) return false;
    const std::string s = v;
    return !s.empty() && s.size() <= 64 && !std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::all_of(s.begin(), s.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
           });
}
bool IsExtensionName(const json &v) {
    if (!v.is_string()) return false;
    const std::string s = v;
    return s.size() >= 3 && s.size() <= 128 && std::all_of(s.begin(), s.end(), [](char c) {
               return std::isupper(static_cast<unsigned char>(c)) ||
                      std::isdigit(static_cast<unsigned char>(c)) || c == '_';
           });
}

/// A name of 1 … max characters without control characters.
bool IsName(const json &v, std::size_t max) {
    if (!v.is_string()) return false;
    const std::string s = v;
    return !s.empty() && s.size() <= max &&
           std::none_of(s.begin(), s.end(), [](char c) { return c >= 0 && c < 32; });
}

/// Appends to `problems` the keys of `object` that `allowed` does not hold.
void OnlyKeys(const json &object, const std::set<std::string> &allowed,
              const std::string &where, std::vector<std::string> &problems) {
    for (const auto &[key, value] : object.items())
        if (!allowed.count(key)) problems.push_back(where + ": unknown key " + key);
}

/// Every "{{ … }}" of `text` must name a value in `scope`.
void CheckFormatString(const std::string &text, const std::set<std::string> &scope,
                       const std::string &where, std::vector<std::string> &problems) {
    for (std::size_t open = text.find("{{"); open != std::string::npos;
         open = text.find("{{", open + 2)) {
        const std::size_t close = text.find("}}", open);
        if (close == std::string::npos) {
            problems.push_back(where + ": unclosed {{");
            return;
        }
        std::string name = text.substr(open + 2, close - open - 2);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (!scope.count(name)) problems.push_back(where + ": unknown value " + name);
    }
}

/// What is wrong with a job template, by the format's rules (the parts a Nimbra template
/// uses; anything else is refused as unknown).
std::vector<std::string> TemplateProblems(const json &t) {
    std::vector<std::string> problems;
    const auto fail = [&](const std::string &p) { problems.push_back(p); };
    if (!t.is_object()) return {"not an object"};
    OnlyKeys(t,
             {kFormatVersionKey, "$schema", "extensions", "name", "description",
              "parameterDefinitions", "steps"},
             "template", problems);
    if (t.value(kFormatVersionKey, "") != kFormatVersion)
        fail(std::string("the format version is not ") + kFormatVersion);
    std::set<std::string> extensions;
    if (t.contains("extensions")) {
        if (!t["extensions"].is_array() || t["extensions"].empty()) fail("extensions: empty");
        for (const json &e : t["extensions"]) {
            if (!IsExtensionName(e))
                fail("extensions: bad name");
            else
                extensions.insert(e.get<std::string>());
        }
    }
    std::set<std::string> params;  // format-string names of the job parameters
    if (t.contains("parameterDefinitions")) {
        const json &defs = t["parameterDefinitions"];
        if (!defs.is_array() || defs.empty() || defs.size() > 50)
            fail("parameterDefinitions: 1 to 50 entries");
        for (const json &d : defs) {
            const std::string type = d.value("type", "");
            if (!IsIdentifier(d.value("name", json())) ||
                params.count("Param." + d.value("name", "")))
                fail("parameter name missing, malformed or repeated");
            params.insert("Param." + d.value("name", ""));
            params.insert("RawParam." + d.value("name", ""));
            std::set<std::string> keys = {"name",    "type",          "description",
                                          "default", "allowedValues", "userInterface"};
            if (type == "STRING" || type == "PATH") {
                keys.insert({"minLength", "maxLength"});
                if (d.contains("default") && !d["default"].is_string())
                    fail("default: a string");
            } else if (type == "INT" || type == "FLOAT") {
                keys.insert({"minValue", "maxValue"});
                if (d.contains("default") && !(type == "INT" ? d["default"].is_number_integer()
                                                             : d["default"].is_number()))
                    fail("default: a number of the parameter's type");
                if (d.contains("default") && d.contains("minValue") &&
                    d["default"].get<double>() < d["minValue"].get<double>())
                    fail("default below minValue");
            } else {
                fail("parameter type " + type);
            }
            if (type == "PATH") {
                keys.insert({"objectType", "dataFlow"});
                static const std::set<std::string> objects{"FILE", "DIRECTORY"},
                    flows{"NONE", "IN", "OUT", "INOUT"};
                if (d.contains("objectType") && !objects.count(d.value("objectType", "")))
                    fail("objectType");
                if (d.contains("dataFlow") && !flows.count(d.value("dataFlow", "")))
                    fail("dataFlow");
            }
            OnlyKeys(d, keys, "parameter " + d.value("name", ""), problems);
        }
    }
    if (!IsName(t.value("name", json()), 128)) fail("name: 1 to 128 characters");
    CheckFormatString(t.value("name", ""), params, "name", problems);

    if (!t.contains("steps") || !t["steps"].is_array() || t["steps"].empty())
        return fail("steps: at least one"), problems;
    std::set<std::string> stepNames;
    for (const json &step : t["steps"]) {
        const std::string where = "step " + step.value("name", "");
        OnlyKeys(step,
                 {"name", "description", "dependencies", "stepEnvironments", "hostRequirements",
                  "parameterSpace", "script"},
                 where, problems);
        if (!IsName(step.value("name", json()), 64) ||
            !stepNames.insert(step.value("name", "")).second)
            fail(where + ": name missing, too long or repeated");
        std::set<std::string> scope = params;
        scope.insert({"Session.WorkingDirectory", "Session.HasPathMappingRules",
                      "Session.PathMappingRulesFile"});
        int chunked = 0;
        if (step.contains("parameterSpace")) {
            const json &space = step["parameterSpace"];
            OnlyKeys(space, {"taskParameterDefinitions", "combination"}, where, problems);
            const json &defs = space.value("taskParameterDefinitions", json::array());
            if (!defs.is_array() || defs.empty() || defs.size() > 16)
                fail(where + ": 1 to 16 task parameters");
            for (const json &d : defs) {
                const std::string type = d.value("type", "");
                if (!IsIdentifier(d.value("name", json())) ||
                    scope.count("Task.Param." + d.value("name", "")))
                    fail(where + ": task parameter name missing, malformed or repeated");
                scope.insert("Task.Param." + d.value("name", ""));
                scope.insert("Task.RawParam." + d.value("name", ""));
                static const std::set<std::string> types{"INT", "FLOAT", "STRING", "PATH",
                                                         "CHUNK[INT]"};
                if (!types.count(type)) fail(where + ": task parameter type " + type);
                if (!d.contains("range")) fail(where + ": task parameter without a range");
                if (d.contains("range") && d["range"].is_string())
                    CheckFormatString(d["range"], params, where + " range", problems);
                if (type != "CHUNK[INT]") {
                    OnlyKeys(d, {"name", "type", "range"}, where, problems);
                    continue;
                }
                ++chunked;
                if (!extensions.count("TASK_CHUNKING"))
                    fail(where + ": CHUNK[INT] without the TASK_CHUNKING extension");
                OnlyKeys(d, {"name", "type", "range", "chunks"}, where, problems);
                const json chunks = d.value("chunks", json::object());
                OnlyKeys(chunks,
                         {"defaultTaskCount", "targetRuntimeSeconds", "rangeConstraint"},
                         where + " chunks", problems);
                const json count = chunks.value("defaultTaskCount", json());
                if (count.is_string())
                    CheckFormatString(count, params, where + " chunks", problems);
                else if (!count.is_number_integer() || count.get<int>() < 1)
                    fail(where + ": defaultTaskCount must be at least 1");
                const std::string constraint = chunks.value("rangeConstraint", "");
                if (constraint != "CONTIGUOUS" && constraint != "NONCONTIGUOUS")
                    fail(where + ": rangeConstraint");
            }
        }
        if (chunked > 1) fail(where + ": more than one CHUNK[INT] parameter");
        const json onRun = step.value("script", json::object())
                               .value("actions", json::object())
                               .value("onRun", json::object());
        OnlyKeys(step.value("script", json::object()), {"actions", "embeddedFiles"}, where,
                 problems);
        OnlyKeys(onRun, {"command", "args", "timeout", "cancelation"}, where + " onRun",
                 problems);
        if (!onRun.contains("command") || !onRun["command"].is_string() ||
            onRun["command"].get<std::string>().empty())
            fail(where + ": onRun has no command");
        else
            CheckFormatString(onRun["command"], scope, where + " command", problems);
        for (const json &arg : onRun.value("args", json::array())) {
            if (!arg.is_string())
                fail(where + ": an argument that is not a string");
            else
                CheckFormatString(arg, scope, where + " args", problems);
        }
    }
    return problems;
}

// Running it by hand --------------------------------------------------------------------------

/// The values of an integer range expression ("1-5", "1-10:3", "4,7,9-12").
std::vector<int> RangeValues(const std::string &expression) {
    std::vector<int> values;
    std::stringstream items(expression);
    for (std::string item; std::getline(items, item, ',');) {
        int first = 0, last = 0, step = 1;
        char dash = 0, colon = 0;
        std::stringstream s(item);
        s >> first;
        if (!(s >> dash))
            last = first;
        else
            s >> last >> colon >> step;
        for (int f = first; f <= last; f += step) values.push_back(f);
    }
    return values;
}

/// `text` with every "{{Name}}" of `values` replaced.
std::string Resolve(std::string text, const std::map<std::string, std::string> &values) {
    for (const auto &[name, value] : values)
        for (std::size_t at; (at = text.find("{{" + name + "}}")) != std::string::npos;)
            text.replace(at, name.size() + 4, value);
    return text;
}

TEST(OpenJdTemplate, KeepsTheFormatsRulesAndItsTasksRenderTheShot) {
    testfiles::TempFolder folder;
    std::filesystem::create_directories(folder.Path("config"));
    const std::string scene =
        std::string(testpaths::SourceDir()) + "/examples/spark-fountain.json";
    const ProgramRun made =
        RunNimbra({"--config-dir", folder.Path("config"), "farm", "openjd", scene, "-o",
                   folder.Path("farm/spark.####.exr"), "--frames", "1-12", "--chunk", "5",
                   "--size", "64x36", "--job-dir", folder.Path("job")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const json t = json::parse(std::ifstream(folder.Path("job/template.json")));
    EXPECT_EQ(TemplateProblems(t), std::vector<std::string>{}) << t.dump(2);

    // The rules catch what a scheduler would refuse.
    for (const auto &[path, value] : std::vector<std::pair<json::json_pointer, json>>{
             {json::json_pointer("/extensions"), json::array({"BOGUS"})},
             {json::json_pointer("/steps/0/script/actions/onRun/args/0"), "{{Param.Nope}}"},
             {json::json_pointer("/parameterDefinitions/0/name"), "1st"},
             {json::json_pointer("/steps/0/parameterSpace/taskParameterDefinitions/0/chunks/"
                                 "rangeConstraint"),
              "SOMETIMES"}}) {
        json broken = t;
        broken[path] = value;
        EXPECT_FALSE(TemplateProblems(broken).empty()) << path.to_string();
    }

    // Run every chunk as a scheduler would, with the parameters' defaults.
    std::map<std::string, std::string> values;
    for (const json &d : t["parameterDefinitions"])
        values["Param." + d["name"].get<std::string>()] =
            d["default"].is_string() ? d["default"].get<std::string>() : d["default"].dump();
    const json &frameParam = t["steps"][0]["parameterSpace"]["taskParameterDefinitions"][0];
    const std::vector<int> frames = RangeValues(Resolve(frameParam["range"], values));
    const int chunkSize = std::stoi(Resolve(frameParam["chunks"]["defaultTaskCount"], values));
    ASSERT_EQ(frames.size(), 12u);
    const json &onRun = t["steps"][0]["script"]["actions"]["onRun"];
    for (std::size_t at = 0; at < frames.size(); at += std::size_t(chunkSize)) {
        std::string chunk;
        for (std::size_t i = at; i < std::min(frames.size(), at + chunkSize); ++i)
            chunk += (chunk.empty() ? "" : ",") + std::to_string(frames[i]);
        values["Task.Param.Frame"] = chunk;
        std::vector<std::string> args;
        for (const json &a : onRun["args"]) args.push_back(Resolve(a, values));
        const ProgramRun task = RunProgram(Resolve(onRun["command"], values), args);
        ASSERT_EQ(task.exitCode, 0) << chunk << ": " << task.err;
        EXPECT_TRUE(apptest::Contains(task.out, "openjd_progress: 100")) << task.out;
    }

    // The frames equal those of one local run.
    const ProgramRun local = RunNimbra({"--config-dir", folder.Path("config"), "render", scene,
                                        "-o", folder.Path("local/spark.####.exr"), "--frames",
                                        "1-12", "--size", "64x36", "--progress", "plain"});
    ASSERT_EQ(local.exitCode, 0) << local.err;
    for (int f = 1; f <= 12; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "spark.%04d.exr", f);
        EXPECT_TRUE(SameFrames(folder.Path(std::string("farm/") + name),
                               folder.Path(std::string("local/") + name)));
    }
}

}  // namespace
