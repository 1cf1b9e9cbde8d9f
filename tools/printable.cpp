// printable.cpp -- escapes what a terminal would act on in quoted text, and cuts it to a line's length
#include "tools/printable.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence at the start of s and its code point;
// 0 when it is no well-formed sequence (overlong forms and surrogates too).
std::size_t utf8_sequence(std::string_view s, char32_t *code)
{
    const unsigned char lead = s[0];
    const std::size_t n = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (n == 0 || s.size() < n)
        return 0;
    char32_t c = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; i++) {
        const unsigned char next = s[i];
        if ((next & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (next & 0x3F);
    }
    const char32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *code = c;
    return n;
}

bool bidirectional_control(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string printable(std::string_view text, std::size_t most)
{
    std::string out;
    std::size_t at = 0;
    char escape[16];
    while (at < text.size() && at < most) {
        const unsigned char byte = text[at];
        char32_t code = 0;
        std::size_t n = byte >= 0x80 ? utf8_sequence(text.substr(at), &code) : 1;
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\n' || byte == '\r' || byte == '\t') {
            out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
        } else if (byte < 0x20 || byte == 0x7F || n == 0 || (code >= 0x80 && code < 0xA0)) {
            n = 1;  // a C1 control is escaped byte by byte too
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else if (bidirectional_control(code)) {
            std::snprintf(escape, sizeof escape, "\\u{%04X}", unsigned(code));
            out += escape;
        } else {
            out.append(text.substr(at, n));
        }
        at += n;
    }
    if (at < text.size())
        out += "... (" + std::to_string(text.size() - at) + " more bytes)";
    return out;
}
