#include "export/record_formats.h"

#include <strings.h>

#include "export/dxf_writer.h"
#include "export/gis_names.h"
#include "export/path_extension.h"
#include "export/point_file.h"
#include "export/writer_module.h"

namespace {

constexpr RecordWriter DxfWriter = static_cast<RecordWriter>(&WriteDxfFile);
constexpr RecordWriter PointFileWriter = static_cast<RecordWriter>(&ExportPointFile);

// The GIS module's slots: 0 writes WGS-84, 1 the record's CGCS2000 zone.
constexpr RecordWriter GisWgs84Writer = ModuleWriter<WriterModule::Gis, 0>;
constexpr RecordWriter GisZonePlaneWriter = ModuleWriter<WriterModule::Gis, 1>;
constexpr RecordWriter ReportWriter = ModuleWriter<WriterModule::Report, 0>;
constexpr WriterModule Gis = WriterModule::Gis;

constexpr const char* GisSaved = "已成功导出为GIS文件，谢谢！";

constexpr RecordFormat kFormats[] = {
    {"dxf", "dxf", "(*.dxf)", "工程制图", "已成功导出为CAD文件，谢谢！", DxfWriter, ExportCommand::Cad},
    {"csv", "csv", "(*.csv)", "EXCEL表格", "已成功导出为EXCEL文件，谢谢！", PointFileWriter, ExportCommand::Excel},
    {"gpkg", "gpkg", "GeoPackage (*.gpkg)", "测量记录", GisSaved, GisWgs84Writer, ExportCommand::Gis, Gis},
    {"gpkg-cgcs2000", "gpkg", "GeoPackage，CGCS2000 高斯-克吕格3度带 (*.gpkg)", "测量记录", GisSaved,
     GisZonePlaneWriter, ExportCommand::Gis, Gis},
    {"shp", "shp", "ESRI Shapefile (*.shp)", "测量记录", GisSaved, GisWgs84Writer, ExportCommand::Gis, Gis},
    {"shp-cgcs2000", "shp", "ESRI Shapefile，CGCS2000 高斯-克吕格3度带 (*.shp)", "测量记录", GisSaved,
     GisZonePlaneWriter, ExportCommand::Gis, Gis},
    {"kml", "kml", "KML (*.kml)", "测量记录", GisSaved, GisWgs84Writer, ExportCommand::Gis, Gis},
    {"geojson", "geojson", "GeoJSON (*.geojson)", "测量记录", GisSaved, GisWgs84Writer, ExportCommand::Gis, Gis},
    {"gpx", "gpx", "GPX (*.gpx)", "测量记录", GisSaved, GisWgs84Writer, ExportCommand::Gis, Gis},
    {"pdf", "pdf", "PDF (*.pdf)", "测量报告", "已成功导出为测量报告，谢谢！", ReportWriter, ExportCommand::Report,
     WriterModule::Report},
};

}  // namespace

std::span<const RecordFormat> RecordFormats()
{
    return kFormats;
}

const RecordFormat* FindRecordFormat(std::span<const RecordFormat> formats, std::string_view id)
{
    for (const RecordFormat& format : formats)
        if (id == format.id) return &format;
    return nullptr;
}

const RecordFormat* FormatForPath(std::span<const RecordFormat> formats, ExportCommand command, std::string_view path)
{
    const std::string_view extension = PathExtension(path);
    if (extension.empty()) return nullptr;
    for (const RecordFormat& format : formats) {
        const std::string_view suffix = format.suffix;
        if (format.command == command && extension.size() == suffix.size() &&
            strncasecmp(extension.data(), suffix.data(), suffix.size()) == 0)
            return &format;
    }
    return nullptr;
}

std::vector<std::string> RecordFormatFiles(const RecordFormat& format, const std::string& target)
{
    if (format.command == ExportCommand::Gis) return GisFilesWritten(target.c_str());
    return {target};
}

std::string RecordFormatRefusedCharacters(const RecordFormat& format, const std::string& target)
{
    return format.command == ExportCommand::Gis ? GisNameRefusedCharacters(target.c_str()) : std::string();
}
