#include "export/point_file.h"

#include <cerrno>
#include <charconv>
#include <limits>

#include "export/safe_file.h"
#include "export/writer_input.h"

namespace {

constexpr int Decimals = 6;
// Longest fixed form of a double: sign, 309 integer digits, point, decimals.
constexpr int MaxNumberChars = 1 + std::numeric_limits<double>::max_exponent10 + 1 + 1 + Decimals;
constexpr int MaxLineChars = 2 * MaxNumberChars + 2;
constexpr int BufferChars = 32 * 1024;

// std::to_chars is locale-independent and rounds exactly as printf's "%.6f" does.
char* AppendNumber(char* out, double value)
{
    return std::to_chars(out, out + MaxNumberChars, value, std::chars_format::fixed, Decimals).ptr;
}

}  // namespace

int ExportPointFile(const char* path, const MeasureRecord& record, int* error)
{
    if (path == nullptr || !HasValidPointCount(record))
        return ReportFailure(error, EINVAL);
    SafeFile file;
    if (file.Open(path, error) != 0)
        return -1;

    char buffer[BufferChars];
    char* end = buffer;
    for (int i = 0; i + 1 < record.pointCount; ++i) {
        if (buffer + BufferChars - end < MaxLineChars) {
            if (file.Write(buffer, size_t(end - buffer), error) != 0)
                return -1;
            end = buffer;
        }
        end = AppendNumber(end, record.points[i].lat);
        *end++ = ',';
        end = AppendNumber(end, record.points[i].lon);
        *end++ = '\n';
    }
    if (file.Write(buffer, size_t(end - buffer), error) != 0)
        return -1;
    return file.Commit(error);
}

int ExportPointFile(const char* path, int recordIndex, int* error)
{
    const MeasureRecord* record = TableRecordAt(recordIndex);
    return record != nullptr ? ExportPointFile(path, *record, error) : ReportFailure(error, EINVAL);
}
