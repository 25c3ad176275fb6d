#pragma once
// Writers kept in modules of their own and loaded the first time an export needs them: the GIS
// writer, whose GDAL costs a program tens of milliseconds and megabytes to start, and the
// report writer, whose Qt the converter otherwise does without. A module takes the core it
// writes with (the record, safe files and their signal-time clean-up) from the program that
// loads it, so there is one of each per process.
#include <cstddef>
#include <cstdint>
#include <string>

#include "import/record.h"

// 0 on success; −1 with the errno-style cause in *error when error is given.
using RecordWriter = int (*)(const char* path, const MeasureRecord& record, int* error);

enum class WriterModule : uint8_t {
    None,    // written by the program itself
    Gis,     // varnel-gis.so: WGS-84, the record's CGCS2000 zone
    Report,  // varnel-report.so: the PDF report
};

// What a module is built against. The first two fields keep their place in every version, so
// that a module of any other version is told apart by them before anything else of it is read.
struct WriterModuleIdentity {
    uint32_t magic;
    uint32_t interfaceVersion;
    uint32_t recordSize;      // sizeof(MeasureRecord)
    char programVersion[16];  // the program's version, NUL-terminated
};

inline constexpr uint32_t WriterModuleMagic = 0x4c4d5256;  // "VRML"
inline constexpr uint32_t WriterModuleInterfaceVersion = 1;
inline constexpr int WriterModuleSlots = 2;

struct WriterModuleInterface {
    WriterModuleIdentity identity;
    // Run once loaded, and again after finish; 0, or −1 with the reason in why. May be null.
    int (*prepare)(char* why, size_t whySize);
    // Undoes prepare before the program ends. May be null.
    void (*finish)();
    RecordWriter writers[WriterModuleSlots];  // by slot; unused slots null
};

// The one function a module exports, extern "C", returning its interface.
inline constexpr char WriterModuleEntryName[] = "VarnelWriterModule";
extern "C" {
using WriterModuleEntry = const WriterModuleInterface* (*)();
}

// The identity this build gives its modules and expects of them; a constant of each file that
// includes this, so that a module states its own, never the loading program's.
constexpr WriterModuleIdentity kWriterModuleIdentity{WriterModuleMagic, WriterModuleInterfaceVersion,
                                                     uint32_t(sizeof(MeasureRecord)), VARNEL_PROGRAM_VERSION};

// The module's file, and what it is called in messages ("GIS writer").
const char* WriterModuleFileName(WriterModule module);
const char* WriterModuleTitle(WriterModule module);

// Where the program looks for its modules: relative to its own executable, the same from the
// build tree as from an install, so that an installed program never loads a build's modules.
std::string WriterModuleFolder();

// Opens a module file, checks its identity and hands back its interface; nullptr with the
// reason in why when it cannot be opened, is not a module or is of another version. An opened
// file stays loaded for the life of the process.
const WriterModuleInterface* OpenWriterModule(const std::string& file, std::string& why);

// Loads module from WriterModuleFolder() once and prepares it; later calls give the same answer
// (a failed load is not retried). true, or false with the reason in *why. Thread-safe.
bool LoadWriterModule(WriterModule module, std::string* why = nullptr);

// Runs every loaded module's finish; a later LoadWriterModule prepares it again.
void FinishWriterModules();

// Writes through slot of module, loading it first; ModuleUnavailableError where it cannot be.
int WriteThroughModule(WriterModule module, int slot, const char* path, const MeasureRecord& record, int* error);

template <WriterModule module, int slot>
int ModuleWriter(const char* path, const MeasureRecord& record, int* error)
{
    return WriteThroughModule(module, slot, path, record, error);
}
