#pragma once
// Writing a file so that a failure never leaves a partial file or spoils the one it replaces:
// the content goes to a temporary file beside the target, renamed over it once complete.
#include <cstddef>
#include <string>

// Stores code in *error when error is given; returns −1 for the caller to pass on.
int ReportFailure(int* error, int code);

// An export's own failure codes, beside errno's (which are all below 4096).
inline constexpr int NotRegularFileError = 0x1000;  // the target is a pipe, socket or device
inline constexpr int ModuleUnavailableError = 0x1001;  // the format's writer module cannot be loaded
inline constexpr int OutsideCgcsZonesError = 0x1002;  // no CGCS2000 3-degree zone holds the record
inline constexpr int NameCharactersError = 0x1003;  // the name holds characters the format cannot keep

// What an export failure code means: strerror's text, or the export's own.
const char* ExportErrorText(int error);

// Lets exports write /dev/null and /dev/stdout in place (the converter's choice; everybody
// else gets NotRegularFileError for them like for any other device).
void AllowStandardStreamTargets(bool allow);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the temporary files of exports
// in progress and then end the process as the signal would have.
void RemoveTemporariesOnSignals();

class SafeFile {
public:
    SafeFile() = default;
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;
    // Closes the file; a temporary that was not committed is removed.
    ~SafeFile();

    // Creates the file the content goes to. A target that exists but is not a regular file (a
    // FIFO, a socket, a device, a folder) is refused without ever being opened, so it cannot
    // block; only /dev/null and /dev/stdout, where allowed, are written in place. A symbolic
    // link is written through: it keeps pointing at the file it names, which is the one
    // replaced (a link that names no file is refused with ENOENT); an existing file's permission bits carry over, and a
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
    int slot_ = -1;  // the temporary's entry among those a signal removes
};

// Replaces target with exactly data through a SafeFile. 0, or −1 with the cause in *error.
int WriteWholeFile(const char* target, const void* data, size_t size, int* error);
