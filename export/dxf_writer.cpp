#include "export/dxf_writer.h"

#include <dl_dxf.h>
#include <dl_writer_ascii.h>
#include <locale.h>

#include <cerrno>
#include <clocale>
#include <locale>
#include <memory>
#include <string>

#include "export/safe_file.h"
#include "export/writer_input.h"

namespace {

// dxflib prints reals with sprintf and mends only a decimal comma; other separators (the
// Arabic one of ps_AF) would reach the file. This thread uses the C locale while it writes.
class ClassicCNumbers {
public:
    ClassicCNumbers() : classic_(newlocale(LC_ALL_MASK, "C", locale_t(0)))
    {
        if (classic_ != locale_t(0))
            previous_ = uselocale(classic_);
    }
    ~ClassicCNumbers()
    {
        if (classic_ != locale_t(0)) {
            uselocale(previous_);
            freelocale(classic_);
        }
    }
    ClassicCNumbers(const ClassicCNumbers&) = delete;
    ClassicCNumbers& operator=(const ClassicCNumbers&) = delete;

private:
    locale_t classic_;
    locale_t previous_ = locale_t(0);
};

// dxflib prints integers through its std::ofstream, which takes the global C++ locale when it
// is created: a locale that groups digits would write a handle 1712 as "1.712". Such a global
// locale is swapped, only while the writer is created, for a copy without grouping. The copy
// has no name, so installing it leaves the C locale alone; putting back a named locale resets
// the C locale as well, so that is restored as it was. Other threads creating a stream at
// that moment would see the copy, which differs only in grouping.
DL_WriterA* OpenWriter(DL_Dxf& dxf, const char* path)
{
    const std::locale global;
    if (std::use_facet<std::numpunct<char>>(global).grouping().empty())
        return dxf.out(path, DL_Codes::AC1009);
    const std::string cLocale = setlocale(LC_ALL, nullptr);
    std::locale::global(std::locale(global, new std::numpunct<char>));
    DL_WriterA* writer = dxf.out(path, DL_Codes::AC1009);
    std::locale::global(global);
    setlocale(LC_ALL, cLocale.c_str());
    return writer;
}

void WriteTables(DL_Dxf& dxf, DL_WriterA& dw)
{
    dw.sectionTables();
    dxf.writeVPort(dw);

    dw.tableLinetypes(3);
    dxf.writeLinetype(dw, DL_LinetypeData("BYBLOCK", "BYBLOCK", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("BYLAYER", "BYLAYER", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("CONTINUOUS", "Continuous", 0, 0, 0.0));
    dw.tableEnd();

    dw.tableLayers(3);
    dxf.writeLayer(dw, DL_LayerData("0", 0), DL_Attributes("", DL_Codes::black, 100, "CONTINUOUS", 1.0));
    dxf.writeLayer(dw, DL_LayerData("mainlayer", 0), DL_Attributes("", DL_Codes::red, 100, "CONTINUOUS", 1.0));
    dxf.writeLayer(dw, DL_LayerData("anotherlayer", 0),
                   DL_Attributes("", DL_Codes::black, 100, "CONTINUOUS", 1.0));
    dw.tableEnd();

    dw.tableStyle(1);
    dxf.writeStyle(dw, DL_StyleData("standard", 0, 2.5, 1.0, 0.0, 0, 2.5, "txt", ""));
    dw.tableEnd();

    dxf.writeView(dw);
    dxf.writeUcs(dw);

    dw.tableAppid(1);
    dxf.writeAppid(dw, "ACAD");
    dw.tableEnd();

    dxf.writeDimStyle(dw, 1.0, 1.0, 1.0, 1.0, 1.0);

    dxf.writeBlockRecord(dw);
    dxf.writeBlockRecord(dw, "myblock1");
    dxf.writeBlockRecord(dw, "myblock2");
    dw.tableEnd();
    dw.sectionEnd();
}

void WriteBlocks(DL_Dxf& dxf, DL_WriterA& dw)
{
    dw.sectionBlocks();
    for (const char* name : {"*Model_Space", "*Paper_Space", "*Paper_Space0", "myblock1", "myblock2"}) {
        dxf.writeBlock(dw, DL_BlockData(name, 0, 0.0, 0.0, 0.0));
        dxf.writeEndBlock(dw, name);
    }
    dw.sectionEnd();
}

// Plane points are stored in drawing form {easting, −northing}; the drawing takes northing up.
void WriteOutline(DL_Dxf& dxf, DL_WriterA& dw, const MeasureRecord& record)
{
    const DL_Attributes attributes("mainlayer", 256, -1, "BYLAYER", 1.0);
    const PlanePoint* p = record.planePoints;
    dw.sectionEntities();
    for (int i = 0; i + 1 < record.pointCount; ++i)
        dxf.writeLine(dw, DL_LineData(p[i].first, -p[i].second, 0.0, p[i + 1].first, -p[i + 1].second, 0.0),
                      attributes);
    dw.sectionEnd();
}

}  // namespace

int WriteDxfFile(const char* path, const MeasureRecord& record, int* error)
{
    if (path == nullptr || !HasValidPointCount(record))
        return ReportFailure(error, EINVAL);
    SafeFile file;
    if (file.Open(path, error) != 0)
        return -1;

    const ClassicCNumbers classicNumbers;
    DL_Dxf dxf;
    const std::unique_ptr<DL_WriterA> dw(OpenWriter(dxf, file.WritePath()));
    if (!dw)
        return ReportFailure(error, EIO);
    dxf.writeHeader(*dw);
    dw->sectionEnd();
    WriteTables(dxf, *dw);
    WriteBlocks(dxf, *dw);
    WriteOutline(dxf, *dw, record);
    dxf.writeObjects(*dw, "");
    dxf.writeObjectsEnd(*dw);
    dw->dxfEOF();
    dw->close();
    // The writer keeps its stream's failure (a write that did not fit, a failed flush on
    // close) without reporting it, and the errno behind it is long overwritten.
    if (dw->openFailed())
        return ReportFailure(error, EIO);
    return file.Commit(error);
}

int WriteDxfFile(const char* path, int recordIndex, int* error)
{
    const MeasureRecord* record = TableRecordAt(recordIndex);
    return record != nullptr ? WriteDxfFile(path, *record, error) : ReportFailure(error, EINVAL);
}
