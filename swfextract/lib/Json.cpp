#include "swfextract/lib/Json.h"

#include <cmath>
#include <cstdio>

namespace SwfExtract {

namespace {

// Length of the valid UTF-8 sequence at `at`, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8Length(const std::string &text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3Fu);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)))
        || (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += char(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(std::int64_t(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string JsonInteger(std::int64_t value)
{
    return std::to_string(value);
}

std::string JsonBool(bool value)
{
    return value ? "true" : "false";
}

std::string JsonOptional(const std::optional<std::uint32_t> &value)
{
    return value ? std::to_string(*value) : "null";
}

JsonObject &JsonObject::add(const char *key, const std::string &json)
{
    if (!m_text.empty())
        m_text += ", ";
    m_text += JsonString(key) + ": " + json;
    return *this;
}

JsonObject &JsonObject::add(const JsonObject &other)
{
    if (!m_text.empty() && !other.m_text.empty())
        m_text += ", ";
    m_text += other.m_text;
    return *this;
}

JsonArray &JsonArray::add(const std::string &json)
{
    m_elements.push_back(json);
    return *this;
}

std::string JsonArray::text(bool multiline, int indent) const
{
    if (m_elements.empty())
        return "[]";
    const std::string pad(std::size_t(indent) + 2, ' ');
    std::string out = "[";
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        if (i > 0)
            out += multiline ? "," : ", ";
        if (multiline)
            out += "\n" + pad;
        out += m_elements[i];
    }
    if (multiline)
        out += "\n" + std::string(std::size_t(indent), ' ');
    return out + "]";
}

} // namespace SwfExtract
