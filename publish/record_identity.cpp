#include "publish/record_identity.h"

#include <fcntl.h>
#include <iconv.h>
#include <nettle/sha2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "import/loader.h"

std::string Sha256Hex(std::string_view data)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex(2 * sizeof digest, '0');
    for (size_t i = 0; i < sizeof digest; ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 15];
    }
    return hex;
}

bool ReadRecordFileBytes(const char* path, std::string& bytes)
{
    bytes.clear();
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return false;
    }
    bytes.resize(size_t(std::min<long long>(st.st_size, MaxRecordFileBytes)));
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat; read on up to the loader's bound.
            if (filled >= size_t(MaxRecordFileBytes)) break;
            bytes.resize(std::min(filled + 65536, size_t(MaxRecordFileBytes)));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        if (got == 0) break;
        filled += size_t(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return true;
}

namespace {

// Length of the valid UTF-8 sequence at s (n bytes left), or 0.
size_t Utf8SequenceLength(const unsigned char* s, size_t n)
{
    const unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t length = 0;
    unsigned minimum = 0, value = 0;
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
    return length;
}

bool DecodeGbk(std::string_view name, std::string& text)
{
    const iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == iconv_t(-1)) return false;
    text.assign(name.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(name.data());
    size_t inLeft = name.size();
    char* out = text.data();
    size_t outLeft = text.size();
    const bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1) && inLeft == 0;
    iconv_close(cd);
    text.resize(text.size() - outLeft);
    return ok;
}

}  // namespace

std::string NameAsText(std::string_view name)
{
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    bool utf8 = true;
    for (size_t i = 0; i < name.size();) {
        const size_t n = Utf8SequenceLength(s + i, name.size() - i);
        if (n == 0) {
            utf8 = false;
            break;
        }
        i += n;
    }
    if (utf8) return std::string(name);
    std::string text;
    if (DecodeGbk(name, text)) return text;
    text.clear();
    for (size_t i = 0; i < name.size();) {
        const size_t n = Utf8SequenceLength(s + i, name.size() - i);
        if (n == 0) {
            text += "\xEF\xBF\xBD";
            ++i;
        } else {
            text.append(name.substr(i, n));
            i += n;
        }
    }
    return text;
}
