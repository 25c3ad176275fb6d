#pragma once
// Writing a file so that a failure never leaves a partial file or spoils the one it replaces:
// the content goes to a temporary file beside the target, renamed over it once complete.
#include <cstddef>
#include <string>

// Stores code in *error when error is given; returns −1 for the caller to pass on.
int ReportFailure(int* error, int code);

class SafeFile {
public:
    SafeFile() = default;
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;
    // Closes the file; a temporary that was not committed is removed.
    ~SafeFile();

    // Creates the file the content goes to. A target that exists but is not a regular file
    // (a terminal, a pipe, /dev/null) is written directly: renaming over it would replace the
    // device node, and there is no content to keep. A symbolic link keeps pointing at the file
    // it names, which is the one replaced; an existing file's permission bits carry over, and a
    // file this process may not write is refused (EACCES) even where its folder is writable.
    // 0, or −1 with the cause in *error.
    int Open(const char* target, int* error);

    // The file being written, for writers that open it by name.
    const char* WritePath() const { return writePath_.c_str(); }

    // Writes all of data, retrying short writes. 0, or −1 with the cause in *error.
    int Write(const void* data, size_t size, int* error);

    // Closes the file, where a late write error may still show. 0, or −1 with the cause.
    int Close(int* error);

    // Closes the file if still open and renames the temporary over the target. 0, or −1 with
    // the cause. Several files that must appear together are all closed first, then committed.
    int Commit(int* error);

private:
    std::string target_;
    std::string writePath_;
    int fd_ = -1;
    bool temporary_ = false;
};
