#include "import/visible_name.h"

#include <cstdio>

namespace {

// The code point of the UTF-8 sequence at s (n bytes left), and its length; 0 for a byte that
// does not start one.
size_t DecodeUtf8(const unsigned char* s, size_t n, unsigned* codePoint)
{
    const unsigned char c = s[0];
    size_t length = 0;
    unsigned value = 0, minimum = 0;
    if (c < 0x80) return *codePoint = c, 1;
    if (c >= 0xC2 && c <= 0xDF) length = 2, value = c & 0x1F, minimum = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, value = c & 0x0F, minimum = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, value = c & 0x07, minimum = 0x10000;
    else return 0;
    if (length > n) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

bool ReordersText(unsigned c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendUtf8(std::string& out, unsigned c)
{
    if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
    }
    out += char(0x80 | (c & 0x3F));
}

}  // namespace

std::string VisibleName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    for (size_t i = 0; i < name.size();) {
        unsigned c = 0;
        const size_t length = DecodeUtf8(s + i, name.size() - i, &c);
        if (length == 0) {
            out += char(s[i++]);
            continue;
        }
        if (c < 0x20) {
            AppendUtf8(out, 0x2400 + c);
        } else if (c == 0x7F) {
            AppendUtf8(out, 0x2421);
        } else if ((c >= 0x80 && c <= 0x9F) || ReordersText(c)) {
            char sign[16];
            std::snprintf(sign, sizeof sign, "<U+%04X>", c);
            out += sign;
        } else {
            out.append(name.substr(i, length));
        }
        i += length;
    }
    return out;
}
