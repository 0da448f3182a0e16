/// @file json_input.cpp
/// @brief JSON parsing with located errors, typed reads and unread-key warnings.
#include "json_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

using nlohmann::json;

namespace {

std::string Located(const std::string &file, const std::string &path,
                    const std::string &message) {
    return file + ": " + (path.empty() ? "" : path + ": ") + message;
}

bool IsIdentifier(const std::string &key) {
    if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0]))) return false;
    return std::all_of(key.begin(), key.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::string MemberOf(const std::string &path, const std::string &key) {
    if (IsIdentifier(key)) return path.empty() ? key : path + "." + key;
    return path + "[" + json(key).dump(-1, ' ', false, json::error_handler_t::replace) + "]";
}

/// Tracks where the parser is, to name the place of a duplicate key or of a value the parser
/// refuses.
class DuplicateKeyCheck {
public:
    explicit DuplicateKeyCheck(const std::string &file) : file_(file) {}

    /// The path of the value the parser is reading: the member whose key came last, or the
    /// array element after the last one read.
    std::string ValuePath() const { return Path(1); }

    bool operator()(int, json::parse_event_t event, json &parsed) {
        using E = json::parse_event_t;
        switch (event) {
            case E::object_start:
            case E::array_start:
                NextElement();
                frames_.push_back({event == E::array_start, -1, {}, {}});
                break;
            case E::object_end:
            case E::array_end:
                if (!frames_.empty()) frames_.pop_back();
                break;
            case E::key: {
                Frame &top = frames_.back();
                top.key = parsed.get<std::string>();
                if (!top.keys.insert(top.key).second)
                    throw SceneJsonError(file_, Path(0), "key written twice in one object");
                break;
            }
            case E::value:
                NextElement();
                break;
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        int index;
        std::string key;
        std::set<std::string> keys;
    };

    void NextElement() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    }
    /// The path of the current place, `ahead` elements further in the innermost array.
    std::string Path(int ahead) const {
        std::string path;
        for (std::size_t k = 0; k < frames_.size(); ++k) {
            const Frame &f = frames_[k];
            const int index = f.index + (k + 1 == frames_.size() ? ahead : 0);
            path = f.array ? path + "[" + std::to_string(index) + "]" : MemberOf(path, f.key);
        }
        return path;
    }

    const std::string &file_;
    std::vector<Frame> frames_;
};

/// "FILE:LINE:COLUMN" of byte offset `byte` (1-based, as the parser reports it).
std::string LineColumn(const std::string &file, const std::string &text, std::size_t byte) {
    const std::size_t end = std::min(byte > 0 ? byte - 1 : 0, text.size());
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < end; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    return file + ":" + std::to_string(line) + ":" + std::to_string(end - lineStart + 1);
}

/// The parser's message without its exception-id prefix and position (given separately).
std::string SyntaxMessage(const json::parse_error &e) {
    std::string text = e.what();
    const std::size_t column = text.find("column ");
    if (column != std::string::npos) {
        const std::size_t colon = text.find(": ", column);
        if (colon != std::string::npos) return text.substr(colon + 2);
    }
    const std::size_t bracket = text.find("] ");
    return bracket == std::string::npos ? text : text.substr(bracket + 2);
}

std::string Join(const std::vector<std::string> &items) {
    std::string s;
    for (const std::string &item : items) s += (s.empty() ? "" : ", ") + item;
    return s;
}

}  // namespace

SceneJsonError::SceneJsonError(const std::string &file, const std::string &path,
                               const std::string &message)
    : std::runtime_error(Located(file, path, message)), file_(file), path_(path) {}

std::string JsonTypeName(const json &value) {
    switch (value.type()) {
        case json::value_t::null:
            return "null";
        case json::value_t::object:
            return "an object";
        case json::value_t::array:
            return "an array";
        case json::value_t::string:
            return "a string";
        case json::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
        case json::value_t::number_float:
            return "the number " + value.dump();
        default:
            return "something else";
    }
}

// JsonDocument
// ------------------------------------------------------------------------------------

JsonDocument::JsonDocument(const std::string &text, std::string file) : file_(std::move(file)) {
    DuplicateKeyCheck check(file_);
    try {
        root_ = json::parse(text, std::ref(check));
    } catch (const json::parse_error &e) {
        throw SceneJsonError(LineColumn(file_, text, e.byte), "",
                             "JSON syntax error: " + SyntaxMessage(e));
    } catch (const json::out_of_range &e) {
        // A number beyond what a double holds: the parser names the number but not its place.
        const std::string what = e.what();
        const std::size_t open = what.find('\''), close = what.rfind('\'');
        const std::string number =
            open < close ? " " + what.substr(open + 1, close - open - 1) : std::string();
        throw SceneJsonError(file_, check.ValuePath(),
                             "the number" + number + " is beyond what a double holds");
    }
}

JsonValue JsonDocument::Root() const {
    return JsonValue(const_cast<JsonDocument &>(*this), root_, "");
}

void JsonDocument::Warn(const std::string &path, const std::string &message) {
    warnings_.push_back(Located(file_, path, message));
}

// JsonValue
// ---------------------------------------------------------------------------------------

void JsonValue::Fail(const std::string &message) const {
    throw SceneJsonError(doc_->File(), path_, message);
}

void JsonValue::Expected(const std::string &what) const {
    Fail("expected " + what + ", got " + JsonTypeName(*value_));
}

std::string JsonValue::MemberPath(const std::string &key) const {
    return MemberOf(path_, key);
}

double JsonValue::Number() const {
    if (!value_->is_number()) Expected("a number");
    return value_->get<double>();
}

int JsonValue::Int(int lo, int hi) const {
    const std::string range =
        "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (!value_->is_number()) Expected(range);
    const double v = value_->get<double>();
    if (v != std::floor(v) || v < lo || v > hi) Expected(range);
    return static_cast<int>(v);
}

double JsonValue::NumberIn(double lo, double hi) const {
    const double v = Number();
    if (v < lo || v > hi) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "a number from %g to %g", lo, hi);
        Expected(buf);
    }
    return v;
}

bool JsonValue::Bool() const {
    if (!value_->is_boolean()) Expected("true or false");
    return value_->get<bool>();
}

std::string JsonValue::String() const {
    if (!value_->is_string()) Expected("a string");
    return value_->get<std::string>();
}

std::string JsonValue::Name() const {
    if (!value_->is_string() || value_->get_ref<const std::string &>().empty())
        Expected("a non-empty string");
    return value_->get<std::string>();
}

Point3 JsonValue::Point() const {
    if (!value_->is_array() || value_->size() != 3 ||
        !std::all_of(value_->begin(), value_->end(),
                     [](const json &v) { return v.is_number(); }))
        Expected("[x, y, z] (three numbers)");
    return Point3((*value_)[0].get<double>(), (*value_)[1].get<double>(),
                  (*value_)[2].get<double>());
}

Color JsonValue::Colour() const {
    const auto inRange = [](const json &v) {
        return v.is_number() && v.get<double>() >= 0.0 && v.get<double>() <= 1.0;
    };
    if (!value_->is_array() || value_->size() != 3 ||
        !std::all_of(value_->begin(), value_->end(), inRange))
        Expected("a colour [r, g, b] with each component from 0 to 1");
    return Color(static_cast<float>((*value_)[0].get<double>()),
                 static_cast<float>((*value_)[1].get<double>()),
                 static_cast<float>((*value_)[2].get<double>()));
}

std::vector<JsonValue> JsonValue::Elements() const {
    if (!value_->is_array()) Expected("an array");
    std::vector<JsonValue> elements;
    for (std::size_t i = 0; i < value_->size(); ++i)
        elements.emplace_back(*doc_, (*value_)[i], path_ + "[" + std::to_string(i) + "]");
    return elements;
}

std::vector<JsonValue> JsonValue::Elements(std::size_t count) const {
    if (!value_->is_array() || value_->size() != count)
        Expected("an array of " + std::to_string(count));
    return Elements();
}

// JsonObject
// --------------------------------------------------------------------------------------

JsonObject::JsonObject(const JsonValue &value, const std::string &what) : value_(value) {
    if (!value.IsObject()) value.Expected(what + " (a JSON object)");
}

std::optional<JsonValue> JsonObject::Find(const std::string &key) {
    if (std::find(expected_.begin(), expected_.end(), key) == expected_.end())
        expected_.push_back(key);
    const json &raw = value_.Raw();
    const auto it = raw.find(key);
    if (it == raw.end()) return std::nullopt;
    taken_.push_back(key);
    return JsonValue(value_.Document(), *it, value_.MemberPath(key));
}

JsonValue JsonObject::Require(const std::string &key) {
    std::optional<JsonValue> v = Find(key);
    if (!v) Fail("missing \"" + key + "\"");
    return *v;
}

std::vector<std::pair<std::string, JsonValue>> JsonObject::Members() {
    std::vector<std::pair<std::string, JsonValue>> members;
    for (auto it = value_.Raw().begin(); it != value_.Raw().end(); ++it) {
        taken_.push_back(it.key());
        members.emplace_back(
            it.key(), JsonValue(value_.Document(), it.value(), value_.MemberPath(it.key())));
    }
    return members;
}

void JsonObject::Finish() {
    for (auto it = value_.Raw().begin(); it != value_.Raw().end(); ++it) {
        if (std::find(taken_.begin(), taken_.end(), it.key()) != taken_.end()) continue;
        std::string message = "unknown key, not read";
        if (!expected_.empty()) message += " (expected here: " + Join(expected_) + ")";
        value_.Document().Warn(value_.MemberPath(it.key()), message);
    }
}
