#include "export/dxf_writer.h"

#include <dl_dxf.h>
#include <dl_writer_ascii.h>
#include <locale.h>

#include <cerrno>
#include <cmath>
#include <locale>
#include <memory>
#include <streambuf>

#include "export/safe_file.h"
#include "export/writer_input.h"

namespace {

// dxflib prints reals with sprintf and mends only a decimal comma; other separators (the
// Arabic one of ps_AF) would reach the file. This thread uses the C locale while it writes;
// integers go through the stream, whose own locale is set apart.
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

// dxflib keeps its output stream private. An explicit instantiation may name a private member
// (access is not checked there), which is how the stream is reached: its writer flushes after
// every real number, a system call per coordinate, and its stream's locale must be fixed.
template <std::ofstream DL_WriterA::*Stream>
struct WriterStreamAccess {
    friend std::ofstream& WriterStream(DL_WriterA& writer) { return writer.*Stream; }
};
template struct WriterStreamAccess<&DL_WriterA::m_ofile>;
std::ofstream& WriterStream(DL_WriterA& writer);

// Takes dxflib's output in large blocks and writes them to the file; flushes wait for Finish.
// The first failed write keeps its cause and makes the stream fail.
class BlockBuffer : public std::streambuf {
public:
    explicit BlockBuffer(SafeFile& file) : file_(file) { setp(block_, block_ + sizeof block_); }

    // Writes what is left. 0, or −1 with the cause of the first failure in *error.
    int Finish(int* error)
    {
        if (error_ == 0)
            WriteBlock();
        return error_ == 0 ? 0 : ReportFailure(error, error_);
    }

protected:
    int_type overflow(int_type c) override
    {
        if (!WriteBlock())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override { return error_ == 0 ? 0 : -1; }

private:
    bool WriteBlock()
    {
        if (error_ == 0 && file_.Write(pbase(), size_t(pptr() - pbase()), &error_) == 0)
            setp(block_, block_ + sizeof block_);
        return error_ == 0;
    }

    SafeFile& file_;
    int error_ = 0;
    char block_[64 * 1024];
};

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

// dxflib prints a real into a 256-byte buffer with a checked sprintf, which ends the process
// when the number does not fit (1e237 and beyond); a coordinate that is not finite would make
// a drawing no CAD program reads. Neither comes from a loaded record.
bool HasPrintablePlanePoints(const MeasureRecord& record)
{
    constexpr double Limit = 1e200;
    if (record.pointCount < 2)
        return true;
    for (int i = 0; i < record.pointCount; ++i) {
        const PlanePoint p = record.planePoints[i];
        if (!(std::fabs(p.first) < Limit && std::fabs(p.second) < Limit))
            return false;
    }
    return true;
}

// Plane points are stored in drawing form {easting, −northing}; the drawing takes northing up.
void WriteOutline(DL_Dxf& dxf, DL_WriterA& dw, const MeasureRecord& record)
{
    const DL_Attributes attributes("mainlayer", DL_Codes::bylayer, -1, "BYLAYER", 1.0);
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
    if (path == nullptr || !HasValidPointCount(record) || !HasPrintablePlanePoints(record))
        return ReportFailure(error, EINVAL);
    SafeFile file;
    if (file.Open(path, error) != 0)
        return -1;

    const ClassicCNumbers classicNumbers;
    DL_Dxf dxf;
    const std::unique_ptr<DL_WriterA> dw(dxf.out(file.WritePath(), DL_Codes::AC1009));
    if (!dw)
        return ReportFailure(error, EIO);
    std::ostream& stream = WriterStream(*dw);
    stream.imbue(std::locale::classic());
    BlockBuffer blocks(file);
    std::streambuf* const opened = stream.rdbuf(&blocks);

    dxf.writeHeader(*dw);
    dw->sectionEnd();
    WriteTables(dxf, *dw);
    WriteBlocks(dxf, *dw);
    WriteOutline(dxf, *dw, record);
    dxf.writeObjects(*dw, "");
    dxf.writeObjectsEnd(*dw);
    dw->dxfEOF();

    const int finished = blocks.Finish(error);
    const bool streamFailed = stream.fail();
    stream.rdbuf(opened);
    dw->close();
    if (finished != 0)
        return -1;
    if (streamFailed || dw->openFailed())
        return ReportFailure(error, EIO);
    return file.Commit(error);
}

int WriteDxfFile(const char* path, int recordIndex, int* error)
{
    const MeasureRecord* record = TableRecordAt(recordIndex);
    return record != nullptr ? WriteDxfFile(path, *record, error) : ReportFailure(error, EINVAL);
}
