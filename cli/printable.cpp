#include "cli/printable.h"

#include <algorithm>
#include <cstdio>

#include "import/name_text.h"

unsigned Utf8CodePoint(const unsigned char* s, size_t n)
{
    unsigned value = n == 2 ? s[0] & 0x1F : n == 3 ? s[0] & 0x0F : s[0] & 0x07;
    for (size_t i = 1; i < n; ++i) value = (value << 6) | (s[i] & 0x3F);
    return value;
}

bool IsHiddenControl(unsigned codePoint)
{
    return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
           (codePoint >= 0x2066 && codePoint <= 0x2069);
}

std::string Printable(const char* raw)
{
    const std::string text = NameText(raw);
    std::string out;
    char escape[8];
    for (const auto* s = reinterpret_cast<const unsigned char*>(text.c_str()); *s;) {
        const unsigned char c = *s;
        // NameText's text is UTF-8 throughout (what it could not decode it wrote as \xHH).
        if (c >= 0x80) {
            const size_t n = std::max<size_t>(1, Utf8SequenceLength(reinterpret_cast<const char*>(s)));
            if (const unsigned codePoint = Utf8CodePoint(s, n); n > 1 && IsHiddenControl(codePoint)) {
                std::snprintf(escape, sizeof escape, "\\u%04x", codePoint);
                out += escape;
            } else {
                out.append(reinterpret_cast<const char*>(s), n);
            }
            s += n;
            continue;
        }
        if (c >= 0x20 && c != 0x7F) {
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        }
        ++s;
    }
    return out;
}
