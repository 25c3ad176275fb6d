#pragma once
// The formats a record is exported in: one row each, from which the window builds its save
// dialogs and the converter its options.
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Every file that exporting in format to target writes (a Shapefile's companions and its points
// layer's files beside the target itself), so that two exports can be told apart by what they
// would overwrite.
std::vector<std::string> RecordFormatFiles(const RecordFormat& format, const std::string& target);

// The characters of target's name that format cannot keep in a file name (its writer then
// refuses it with NameCharactersError); empty when there are none.
std::string RecordFormatRefusedCharacters(const RecordFormat& format, const std::string& target);
