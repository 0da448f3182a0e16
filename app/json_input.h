/// @file json_input.h
/// @brief Reading a JSON document with errors that name the file, the JSON path and what was
///        expected, and warnings for keys that nobody read.
///
/// A `JsonDocument` parses the text (syntax errors give line and column; a key written twice
/// in one object is an error rather than a silent choice). Readers walk it through
/// `JsonValue` (one value and its path, such as `nodes[2].object.params["Birth Rate"]`) and
/// `JsonObject` (an object whose keys are taken one by one; `Finish` reports the keys left
/// over as warnings, with the keys that were expected there).
#pragma once

#include "host/geom.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

/// A scene file that cannot be read: `what()` is "FILE: PATH: what was expected" (or
/// "FILE:LINE:COLUMN: …" for syntax errors).
class SceneJsonError : public std::runtime_error {
public:
    SceneJsonError(const std::string &file, const std::string &path,
                   const std::string &message);
    const std::string &file() const { return file_; }
    /// The JSON path of the fault ("" for the whole document).
    const std::string &path() const { return path_; }

private:
    std::string file_;
    std::string path_;
};

/// The name of a JSON value's type as error messages give it ("a string", "an array" …).
std::string JsonTypeName(const nlohmann::json &value);

class JsonValue;

/// A parsed document and the warnings of its reading.
class JsonDocument {
public:
    /// Parses `text`; `file` names it in messages. Throws SceneJsonError for bad syntax and for
    /// duplicate keys.
    JsonDocument(const std::string &text, std::string file);

    const std::string &File() const { return file_; }
    JsonValue Root() const;

    void Warn(const std::string &path, const std::string &message);
    const std::vector<std::string> &Warnings() const { return warnings_; }

private:
    std::string file_;
    nlohmann::json root_;
    std::vector<std::string> warnings_;
};

/// One value of a document with its path. Cheap to copy; valid while the document lives.
class JsonValue {
public:
    JsonValue(JsonDocument &doc, const nlohmann::json &value, std::string path)
        : doc_(&doc), value_(&value), path_(std::move(path)) {}

    const nlohmann::json &Raw() const { return *value_; }
    const std::string &Path() const { return path_; }
    JsonDocument &Document() const { return *doc_; }

    /// Throws SceneJsonError naming the file and this value's path.
    [[noreturn]] void Fail(const std::string &message) const;
    /// Fails with "expected WHAT, got <type>".
    [[noreturn]] void Expected(const std::string &what) const;
    void Warn(const std::string &message) const { doc_->Warn(path_, message); }

    bool IsObject() const { return value_->is_object(); }
    bool IsArray() const { return value_->is_array(); }
    bool IsString() const { return value_->is_string(); }
    bool IsNumber() const { return value_->is_number(); }

    // Typed reads: each fails with what was expected when the value is of another kind.
    double Number() const;
    /// A whole number within [lo, hi].
    int Int(int lo = INT32_MIN, int hi = INT32_MAX) const;
    /// A number within [lo, hi].
    double NumberIn(double lo, double hi) const;
    bool Bool() const;
    std::string String() const;
    /// A non-empty string.
    std::string Name() const;
    /// [x, y, z].
    Point3 Point() const;
    /// [r, g, b], each 0 … 1.
    Color Colour() const;
    /// The elements of an array (fails for any other value).
    std::vector<JsonValue> Elements() const;
    /// Elements of an array of `count` (fails for another count).
    std::vector<JsonValue> Elements(std::size_t count) const;

    /// A member's path below this value: `.key`, or `["key"]` when the key is not a plain
    /// identifier.
    std::string MemberPath(const std::string &key) const;

private:
    JsonDocument *doc_;
    const nlohmann::json *value_;
    std::string path_;
};

/// An object whose members are taken one by one. Every key asked for (present or not) counts
/// as expected; `Finish` warns about the members nobody asked for.
class JsonObject {
public:
    /// Fails unless `value` is an object; `what` names it for that message ("a node").
    JsonObject(const JsonValue &value, const std::string &what);

    const JsonValue &Value() const { return value_; }
    [[noreturn]] void Fail(const std::string &message) const { value_.Fail(message); }

    /// The member `key`, when present.
    std::optional<JsonValue> Find(const std::string &key);
    /// The member `key`; fails naming it when absent.
    JsonValue Require(const std::string &key);
    bool Has(const std::string &key) const { return value_.Raw().contains(key); }
    /// Every member, in the document's order, each marked as read.
    std::vector<std::pair<std::string, JsonValue>> Members();

    /// Warns about each member that was not taken, listing the keys expected here.
    void Finish();

private:
    JsonValue value_;
    std::vector<std::string> expected_;
    std::vector<std::string> taken_;
};
