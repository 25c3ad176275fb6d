#pragma once
// The formats a record is exported in: one row each, from which the window builds its save
// dialogs and the converter its options.
#include <span>
#include <string_view>

#include "export/writer_module.h"
#include "import/record.h"

// Which window command offers a format.
enum class ExportCommand { Cad, Excel, Gis, Report };

struct RecordFormat {
    const char* id;           // the converter's name for it (--formats)
    const char* suffix;       // file name extension without the dot
    const char* filter;       // save-dialog filter entry
    const char* defaultName;  // the name the save dialog proposes
    const char* successText;  // the message after a successful export
    RecordWriter writer;
    ExportCommand command;
    WriterModule module = WriterModule::None;  // the module writer comes from, loaded on first use
};

// Every format a record is exported in: DXF, the point file, the GIS files and the report.
// Within a command, the first row is the dialog's preselected filter; of rows sharing a
// suffix, the first is the one a file name's extension chooses.
std::span<const RecordFormat> RecordFormats();

// The row of formats whose id is id, or nullptr.
const RecordFormat* FindRecordFormat(std::span<const RecordFormat> formats, std::string_view id);

// The first row offered by command whose suffix is that of path (without regard to case), or
// nullptr.
const RecordFormat* FormatForPath(std::span<const RecordFormat> formats, ExportCommand command, std::string_view path);
