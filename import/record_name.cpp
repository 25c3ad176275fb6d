// What a record file's name says: whether it is one, the measurement type, the time.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "import/loader.h"
#include "import/number_scan.h"
#include "import/record_labels.h"
#include "import/record_words.h"

int ParseNameTime(const char* path, MeasureRecord& record)
{
    for (const bool gbk : {true, false}) {
        const Word* marks[] = {&kYearMark, &kMonthMark, &kDayMark, &kHourMark, &kMinuteMark, &kSecondMark};
        const char* at[6];
        bool all = true;
        for (int i = 0; i < 6 && all; ++i) {
            at[i] = FindLast(path, gbk ? marks[i]->gbk : marks[i]->utf8);
            all = at[i] != nullptr;
        }
        if (!all) continue;
        const size_t markLength = gbk ? 2 : 3;
        // The year is the number that begins four bytes before its mark, when the path has them.
        record.year = at[0] - path >= 4 ? LeadingInt(at[0] - 4) : 0;
        record.month = LeadingInt(at[0] + markLength);
        record.day = LeadingInt(at[1] + markLength);
        record.hour = LeadingInt(at[2] + markLength);
        record.minute = LeadingInt(at[3] + markLength);
        record.second = LeadingInt(at[4] + markLength);
        return 0;
    }

    if (Contains(path, "TRACK-") && Contains(path, "_20")) {
        int year = 0, month = 0, day = 0, hhmmss = 0;
        const char* p = ScanInt(FindLast(path, "_20") + 1, &year);
        p = ScanInt(Expect(p, '-'), &month);
        p = ScanInt(Expect(p, '-'), &day);
        ScanInt(Expect(p, ' '), &hhmmss);
        record.year = year;
        record.month = month;
        record.day = day;
        record.second = hhmmss % 100;
        record.minute = (hhmmss / 100) % 100;
        record.hour = (hhmmss / 10000) % 100;
        return 1;
    }
    return -1;
}

bool CheckFileName(const char* path, MeasureRecord& record)
{
    const char* name = RecordFileName(path);
    if (name == path) return false;  // no folder in the path
    if (!Contains(name, ".nmea")) return false;

    if (ContainsWord(name, kVehicleWord) || Contains(name, "CAR") || Contains(name, "car") || Contains(name, "Car"))
        record.type = Vehicle;
    else if (Contains(name, "DISTANCE") || ContainsWord(name, kDistanceWord))
        record.type = Distance;
    else
        record.type = Area;

    if (ParseNameTime(path, record) >= 0) record.nameKey = uint8_t((record.minute ^ record.hour) & 0xFF);
    return true;
}
