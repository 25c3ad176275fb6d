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

bool ReadSummary(const char* line, MeasureRecord& r)
{
    // Every spelling of the Chinese words starts with a byte above 0x7F: a line of ASCII alone
    // (most of a receiver's log) is not searched for them.
    bool wide = false;
    for (const char* c = line; *c && !wide; ++c) wide = static_cast<unsigned char>(*c) > 0x7F;
    if (wide && ContainsWord(line, kAreaWord)) {
        ReadChineseSummary(line, kAreaLabel, &r.area);
        ReadChineseSummary(line, kSquareMetreLabel, &r.areaMu);
    } else if (wide && ContainsWord(line, kPerimeterWord)) {
        ReadChineseSummary(line, kPerimeterLabel, &r.curveLength);
    } else if (wide && ContainsWord(line, kCurveWord)) {
        ReadChineseSummary(line, kCurveLabel, &r.curveLength);
    } else if (wide && ContainsWord(line, kStraightWord)) {
        ReadChineseSummary(line, kStraightLabel, &r.straightLength);
    } else if (Contains(line, "AREA")) {
        const char* p = Expect(ExpectText(line, "AREA"), ':');
        double v = 0.0;
        p = ScanDouble(p, &v);
        if (!p) return true;
        r.area = v;
        p = ExpectText(p, " SQ.M. (");
        if (ScanDouble(p, &v)) r.areaMu = v;
    } else if (Contains(line, "CURVE")) {
        ReadEnglishLength(line, "CURVE", &r.curveLength);
    } else if (Contains(line, "PERIMETER")) {
        ReadEnglishLength(line, "PERIMETER", &r.curveLength);
    } else if (Contains(line, "LINE")) {
        ReadEnglishLength(line, "LINE", &r.straightLength);
    } else {
        return false;
    }
    return true;
}
