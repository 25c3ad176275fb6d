#include "cli/printable.h"

#include <cstdio>

std::string Printable(const char* text)
{
    std::string out;
    for (const auto* s = reinterpret_cast<const unsigned char*>(text); *s; ++s) {
        const unsigned char c = *s;
        if (c >= 0x20 && c != 0x7F) {
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        }
    }
    return out;
}
