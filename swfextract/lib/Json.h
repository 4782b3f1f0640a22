#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace SwfExtract {

// Pieces of JSON text. The library has no JSON dependency and the report
// only needs objects, arrays, strings and numbers.

// A string literal with quotes; bytes that are not valid UTF-8 become
// U+FFFD, so the document stays UTF-8 whatever the movie holds.
std::string JsonString(const std::string &text);
// A finite number in its shortest exact-enough form ("24", "29.97"); NaN and
// infinities, which JSON cannot hold, become null.
std::string JsonNumber(double value);
std::string JsonInteger(std::int64_t value);
std::string JsonBool(bool value);
std::string JsonOptional(const std::optional<std::uint32_t> &value);

// An object written member by member on one line: {"a": 1, "b": "x"}.
class JsonObject
{
public:
    // `json` is already JSON text.
    JsonObject &add(const char *key, const std::string &json);
    // The members of `other`, after these.
    JsonObject &add(const JsonObject &other);
    std::string text() const { return "{" + m_text + "}"; }

private:
    std::string m_text;
};

// An array of JSON texts; with `multiline` each element gets a line of its
// own, indented by `indent` spaces (for lists of objects).
class JsonArray
{
public:
    JsonArray &add(const std::string &json);
    std::string text(bool multiline = false, int indent = 0) const;
    bool empty() const { return m_elements.empty(); }

private:
    std::vector<std::string> m_elements;
};

} // namespace SwfExtract
