#include "cli/printable.h"

#include <cstdio>

#include "import/name_text.h"

std::string Printable(const char* raw)
{
    const std::string text = NameText(raw);
    std::string out;
    for (const auto* s = reinterpret_cast<const unsigned char*>(text.c_str()); *s; ++s) {
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
