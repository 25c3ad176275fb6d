#include "import/name_text.h"

#include <iconv.h>

#include <cstdio>

size_t Utf8SequenceLength(std::string_view bytes)
{
    if (bytes.empty()) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t n = 0;
    unsigned minimum = 0, value = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 2, value = c & 0x1F, minimum = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, value = c & 0x0F, minimum = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, value = c & 0x07, minimum = 0x10000;
    else return 0;
    if (bytes.size() < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return n;
}

bool IsValidUtf8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const size_t n = Utf8SequenceLength(bytes);
        if (n == 0) return false;
        bytes.remove_prefix(n);
    }
    return true;
}

namespace {

// GBK bytes to UTF-8 through the C library; false when they are not GBK. A NUL byte or an
// ASCII control is not part of any name the instrument writes, but passes through unchanged.
bool DecodeGbk(std::string_view bytes, std::string& text)
{
    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter == iconv_t(-1)) return false;
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* next = out.data();
    size_t outLeft = out.size();
    const size_t converted = iconv(converter, &in, &inLeft, &next, &outLeft);
    iconv_close(converter);
    if (converted == size_t(-1) || inLeft != 0) return false;
    out.resize(size_t(next - out.data()));
    text = std::move(out);
    return true;
}

}  // namespace

std::string NameText(std::string_view bytes)
{
    if (IsValidUtf8(bytes)) return std::string(bytes);
    if (std::string text; DecodeGbk(bytes, text)) return text;
    std::string text;
    while (!bytes.empty()) {
        if (const size_t n = Utf8SequenceLength(bytes)) {
            text.append(bytes.data(), n);
            bytes.remove_prefix(n);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(static_cast<unsigned char>(bytes[0])));
            text += escape;
            bytes.remove_prefix(1);
        }
    }
    return text;
}
