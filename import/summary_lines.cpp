#include "import/summary_lines.h"

#include "import/number_scan.h"
#include "import/record_words.h"

namespace {

// The number after a Chinese label: none reads as 0; one that overflows leaves the field.
// Whether the field was stored.
bool ReadLabelNumber(const char* at, double* field)
{
    const char* p = SkipSpace(at);
    double v = 0.0;
    if (ScanDouble(p, &v)) {
        *field = v;
        return true;
    }
    const char* q = p;
    if (*q == '+' || *q == '-') ++q;
    if (*q == '.') ++q;
    if (IsDigit(*q)) return false;
    *field = 0.0;
    return true;
}

bool ReadChineseSummary(const char* line, const Word& label, double* field)
{
    const char* at = nullptr;
    return FindLastWord(line, label, &at) && ReadLabelNumber(at, field);
}

// "WORD: %lf M" from the line's first byte; only what scans is stored.
bool ReadEnglishLength(const char* line, const char* word, double* field)
{
    const char* p = ExpectText(line, word);
    p = Expect(p, ':');
    double v = 0.0;
    if (!ScanDouble(p, &v)) return false;
    *field = v;
    return true;
}

// The walked length was stated, as a perimeter or as a curve: the last line that stated it names it.
void NoteStatedLength(MeasureRecord& r, bool stored, bool perimeter)
{
    if (!stored) return;
    r.statedFigures &= ~(StatedCurve | StatedPerimeter);
    r.statedFigures |= perimeter ? StatedPerimeter : StatedCurve;
}

}  // namespace

bool ReadSummary(const char* line, MeasureRecord& r)
{
    // Every spelling of the Chinese words starts with a byte above 0x7F: a line of ASCII alone
    // (most of a receiver's log) is not searched for them.
    bool wide = false;
    for (const char* c = line; *c && !wide; ++c) wide = static_cast<unsigned char>(*c) > 0x7F;
    if (wide && ContainsWord(line, kAreaWord)) {
        const bool area = ReadChineseSummary(line, kAreaLabel, &r.area);
        if (ReadChineseSummary(line, kSquareMetreLabel, &r.areaMu) || area) r.statedFigures |= StatedArea;
    } else if (wide && ContainsWord(line, kPerimeterWord)) {
        NoteStatedLength(r, ReadChineseSummary(line, kPerimeterLabel, &r.curveLength), true);
    } else if (wide && ContainsWord(line, kCurveWord)) {
        NoteStatedLength(r, ReadChineseSummary(line, kCurveLabel, &r.curveLength), false);
    } else if (wide && ContainsWord(line, kStraightWord)) {
        if (ReadChineseSummary(line, kStraightLabel, &r.straightLength)) r.statedFigures |= StatedStraight;
    } else if (Contains(line, "AREA")) {
        const char* p = Expect(ExpectText(line, "AREA"), ':');
        double v = 0.0;
        p = ScanDouble(p, &v);
        if (!p) return true;
        r.area = v;
        r.statedFigures |= StatedArea;
        p = ExpectText(p, " SQ.M. (");
        if (ScanDouble(p, &v)) r.areaMu = v;
    } else if (Contains(line, "CURVE")) {
        NoteStatedLength(r, ReadEnglishLength(line, "CURVE", &r.curveLength), false);
    } else if (Contains(line, "PERIMETER")) {
        NoteStatedLength(r, ReadEnglishLength(line, "PERIMETER", &r.curveLength), true);
    } else if (Contains(line, "LINE")) {
        if (ReadEnglishLength(line, "LINE", &r.straightLength)) r.statedFigures |= StatedStraight;
    } else {
        return false;
    }
    return true;
}
