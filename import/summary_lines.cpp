#include "import/summary_lines.h"

#include "import/number_scan.h"
#include "import/record_words.h"

namespace {

// The number after a Chinese label: none reads as 0; one that overflows leaves the field.
void ReadLabelNumber(const char* at, double* field)
{
    const char* p = SkipSpace(at);
    double v = 0.0;
    if (ScanDouble(p, &v)) {
        *field = v;
        return;
    }
    const char* q = p;
    if (*q == '+' || *q == '-') ++q;
    if (*q == '.') ++q;
    if (!IsDigit(*q)) *field = 0.0;
}

void ReadChineseSummary(const char* line, const Word& label, double* field)
{
    const char* at = nullptr;
    if (FindLastWord(line, label, &at)) ReadLabelNumber(at, field);
}

// "WORD: %lf M" from the line's first byte; only what scans is stored.
void ReadEnglishLength(const char* line, const char* word, double* field)
{
    const char* p = ExpectText(line, word);
    p = Expect(p, ':');
    double v = 0.0;
    if (ScanDouble(p, &v)) *field = v;
}

}  // namespace

bool IsSummaryLine(const char* line)
{
    return ContainsWord(line, kAreaWord) || ContainsWord(line, kPerimeterWord) ||
           ContainsWord(line, kCurveWord) || ContainsWord(line, kStraightWord) ||
           Contains(line, "AREA") || Contains(line, "CURVE") || Contains(line, "PERIMETER") ||
           Contains(line, "LINE");
}

void ReadSummary(const char* line, MeasureRecord& r)
{
    if (ContainsWord(line, kAreaWord)) {
        ReadChineseSummary(line, kAreaLabel, &r.area);
        ReadChineseSummary(line, kSquareMetreLabel, &r.areaMu);
    } else if (ContainsWord(line, kPerimeterWord)) {
        ReadChineseSummary(line, kPerimeterLabel, &r.curveLength);
    } else if (ContainsWord(line, kCurveWord)) {
        ReadChineseSummary(line, kCurveLabel, &r.curveLength);
    } else if (ContainsWord(line, kStraightWord)) {
        ReadChineseSummary(line, kStraightLabel, &r.straightLength);
    } else if (Contains(line, "AREA")) {
        const char* p = Expect(ExpectText(line, "AREA"), ':');
        double v = 0.0;
        p = ScanDouble(p, &v);
        if (!p) return;
        r.area = v;
        p = ExpectText(p, " SQ.M. (");
        if (ScanDouble(p, &v)) r.areaMu = v;
    } else if (Contains(line, "CURVE")) {
        ReadEnglishLength(line, "CURVE", &r.curveLength);
    } else if (Contains(line, "PERIMETER")) {
        ReadEnglishLength(line, "PERIMETER", &r.curveLength);
    } else if (Contains(line, "LINE")) {
        ReadEnglishLength(line, "LINE", &r.straightLength);
    }
}
