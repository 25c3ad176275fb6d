#include "export/writer_module.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "export/safe_file.h"

#ifndef VARNEL_MODULE_FOLDER_FROM_PROGRAM
#error "VARNEL_MODULE_FOLDER_FROM_PROGRAM must name the module folder relative to the program's"
#endif

namespace {

struct ModuleFile {
    const char* fileName;
    const char* title;
};

constexpr ModuleFile kModuleFiles[] = {
    {"", ""},
    {"varnel-gis.so", "GIS writer"},
    {"varnel-report.so", "report writer"},
};
constexpr size_t kModules = std::size(kModuleFiles);

struct LoadState {
    bool tried = false;
    bool prepared = false;
    const WriterModuleInterface* interface = nullptr;
    std::string why;
};

std::mutex loadMutex;
LoadState loadStates[kModules];

std::string IdentityText(const WriterModuleIdentity& identity)
{
    return "version " + std::string(identity.programVersion, strnlen(identity.programVersion, sizeof identity.programVersion)) +
           ", interface " + std::to_string(identity.interfaceVersion) + ", record of " +
           std::to_string(identity.recordSize) + " bytes";
}

// Why a module is refused by its identity, or empty when it is of this build.
std::string IdentityMismatch(const std::string& file, const WriterModuleIdentity* identity)
{
    const WriterModuleIdentity& ours = kWriterModuleIdentity;
    if (identity == nullptr || identity->magic != WriterModuleMagic) return file + " is not a Varnel writer module";
    if (identity->interfaceVersion == ours.interfaceVersion && identity->recordSize == ours.recordSize &&
        strncmp(identity->programVersion, ours.programVersion, sizeof ours.programVersion) == 0)
        return {};
    if (identity->interfaceVersion != ours.interfaceVersion)  // nothing past the first fields may be read
        return file + " is of another version (interface " + std::to_string(identity->interfaceVersion) +
               "); this program needs interface " + std::to_string(ours.interfaceVersion);
    return file + " is of another version (" + IdentityText(*identity) + "); this program needs " + IdentityText(ours);
}

bool ReadAt(int fd, void* data, size_t size, off_t offset)
{
    return pread(fd, data, size, offset) == ssize_t(size);
}

// Why file cannot be a whole shared object of this machine, or empty. The loader maps a file's
// segments as its header states them, and touching a segment past the end of a file cut short
// (an interrupted copy) ends the process with SIGBUS: so each segment must lie in the file.
std::string ShapeFault(const std::string& file)
{
    // Not blocking, so that a FIFO in the module's place cannot hang the program.
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return file + ": " + std::strerror(errno);
    struct stat status;
    ElfW(Ehdr) header;
    std::string fault;
    if (fstat(fd, &status) != 0) {
        fault = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        fault = "not a regular file";
    } else if (!ReadAt(fd, &header, sizeof header, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
               header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr))) {
        fault = "not a shared object";
    } else {
        for (int i = 0; i < header.e_phnum && fault.empty(); ++i) {
            ElfW(Phdr) segment;
            if (!ReadAt(fd, &segment, sizeof segment, off_t(header.e_phoff + i * sizeof segment)))
                fault = "cut short (its header is incomplete)";
            else if (segment.p_type == PT_LOAD && segment.p_offset + segment.p_filesz > uint64_t(status.st_size))
                fault = "cut short (" + std::to_string(status.st_size) + " bytes)";
        }
    }
    close(fd);
    return fault.empty() ? fault : file + ": " + fault;
}

// The program's own file: /proc/self/exe, or where no /proc is mounted (a chroot) the name it
// was started by, resolved against the folder it was started in.
std::string FindProgramFile()
{
    char self[PATH_MAX];
    if (const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1); length > 0)
        return std::string(self, size_t(length));
    const char* name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (name != nullptr && realpath(name, self) != nullptr) return self;
    return {};
}

const std::string& ProgramFileAtStart()
{
    static const std::string file = FindProgramFile();
    return file;
}

// Taken before main: the window changes its folder when it imports one.
[[maybe_unused]] const std::string& programFile = ProgramFileAtStart();

}  // namespace

const char* WriterModuleFileName(WriterModule module)
{
    return kModuleFiles[size_t(module) < kModules ? size_t(module) : 0].fileName;
}

const char* WriterModuleTitle(WriterModule module)
{
    return kModuleFiles[size_t(module) < kModules ? size_t(module) : 0].title;
}

std::string WriterModuleFolder()
{
    const std::string& program = ProgramFileAtStart();
    if (program.empty()) return {};
    return (std::filesystem::path(program).parent_path() / VARNEL_MODULE_FOLDER_FROM_PROGRAM).lexically_normal().string();
}

const WriterModuleInterface* OpenWriterModule(const std::string& file, std::string& why)
{
    why = ShapeFault(file);
    if (!why.empty()) return nullptr;
    // Everything binds now, so that a module missing a symbol of this program is refused here
    // rather than failing in the middle of an export.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        why = error != nullptr ? error : file + ": cannot be loaded";
        return nullptr;
    }
    const auto entry = reinterpret_cast<WriterModuleEntry>(dlsym(handle, WriterModuleEntryName));
    const WriterModuleInterface* interface = entry != nullptr ? entry() : nullptr;
    why = IdentityMismatch(file, interface != nullptr ? &interface->identity : nullptr);
    // Even a refused file stays loaded: what its libraries set up when loaded (GDAL's drivers,
    // handlers at exit) may not survive being unloaded.
    return why.empty() ? interface : nullptr;
}

bool LoadWriterModule(WriterModule module, std::string* why)
{
    if (module == WriterModule::None || size_t(module) >= kModules) return true;
    const std::lock_guard lock(loadMutex);
    LoadState& state = loadStates[size_t(module)];
    if (!state.tried) {
        state.tried = true;
        const std::string folder = WriterModuleFolder();
        if (folder.empty())
            state.why = "cannot find the program's own file (neither /proc/self/exe nor the name it was started by)";
        else
            state.interface = OpenWriterModule(folder + "/" + WriterModuleFileName(module), state.why);
    }
    if (state.interface != nullptr && !state.prepared) {
        char reason[512] = "";
        if (state.interface->prepare == nullptr || state.interface->prepare(reason, sizeof reason) == 0) {
            state.prepared = true;
            state.why.clear();
        } else {
            state.why = reason[0] != '\0' ? reason : "it could not be prepared";
        }
    }
    if (!state.prepared && why != nullptr) *why = state.why;
    return state.prepared;
}

void FinishWriterModules()
{
    const std::lock_guard lock(loadMutex);
    for (LoadState& state : loadStates) {
        if (!state.prepared) continue;
        if (state.interface->finish != nullptr) state.interface->finish();
        state.prepared = false;
    }
}

int WriteThroughModule(WriterModule module, int slot, const char* path, const MeasureRecord& record, int* error)
{
    if (!LoadWriterModule(module) || slot < 0 || slot >= WriterModuleSlots) return ReportFailure(error, ModuleUnavailableError);
    const RecordWriter writer = loadStates[size_t(module)].interface->writers[slot];
    if (writer == nullptr) return ReportFailure(error, ModuleUnavailableError);
    return writer(path, record, error);
}
