#include "publish/record_identity.h"

#include <fcntl.h>
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
