// The GIS writer as a module (varnel-gis.so): GDAL is loaded with it, by the first GIS export.
#include "export/gis_writer.h"
#include "export/writer_module.h"

extern "C" __attribute__((visibility("default"))) const WriterModuleInterface* VarnelWriterModule()
{
    static const WriterModuleInterface interface{
        kWriterModuleIdentity, nullptr, nullptr, {WriteGisWgs84, WriteGisZonePlane}};
    return &interface;
}
