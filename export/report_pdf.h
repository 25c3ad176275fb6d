#pragma once
// The printable measurement report: one A4 page of PDF, written with Qt's PDF writer.
#include <vector>

#include "import/record.h"

// At most this many of a record's points are listed in the report's table.
inline constexpr int ReportVertexRows = 60;

// Writes the report of record: title, file name, date and time, type, nearest place, area in m²
// and mu (plane and ellipsoidal), curve, straight and perimeter lengths, point count, the
// outline to scale with scale bar, north arrow and start and end markers, a table of up to
// ReportVertexRows evenly spaced points, and the program's name, version and the time of
// printing. Its fonts are embedded. Needs a QGuiApplication. The file is replaced only when
// complete. 0, or −1 with the errno-style cause in *error (EINVAL for a null path or a
// pointCount out of range).
int WriteReportPdf(const char* path, const MeasureRecord& record, int* error);

// Which points the table lists: all of count, or ReportVertexRows of them evenly spaced from
// the first to the last.
std::vector<int> ReportVertexIndices(int count);
