#pragma once
// The Chinese words and marks of record file names and summary lines. Each is looked for as the
// instrument writes it (GBK) and as Linux names and re-saved files hold it (UTF-8).
#include <cstring>

struct Word {
    const char* gbk;
    const char* utf8;
};

inline constexpr Word kYearMark{"\xC4\xEA", "\xE5\xB9\xB4"};      // 年
inline constexpr Word kMonthMark{"\xD4\xC2", "\xE6\x9C\x88"};     // 月
inline constexpr Word kDayMark{"\xC8\xD5", "\xE6\x97\xA5"};       // 日
inline constexpr Word kHourMark{"\xCA\xB1", "\xE6\x97\xB6"};      // 时
inline constexpr Word kMinuteMark{"\xB7\xD6", "\xE5\x88\x86"};    // 分
inline constexpr Word kSecondMark{"\xC3\xEB", "\xE7\xA7\x92"};    // 秒
inline constexpr Word kVehicleWord{"\xB3\xB5", "\xE8\xBD\xA6"};   // 车
inline constexpr Word kDistanceWord{"\xBE\xE0\xC0\xEB", "\xE8\xB7\x9D\xE7\xA6\xBB"};  // 距离
inline constexpr Word kAreaWord{"\xC3\xE6\xBB\xFD", "\xE9\x9D\xA2\xE7\xA7\xAF"};      // 面积
inline constexpr Word kPerimeterWord{"\xD6\xDC\xB3\xA4", "\xE5\x91\xA8\xE9\x95\xBF"}; // 周长
inline constexpr Word kCurveWord{"\xC7\xFA\xCF\xDF", "\xE6\x9B\xB2\xE7\xBA\xBF"};     // 曲线
inline constexpr Word kStraightWord{"\xD6\xB1\xCF\xDF", "\xE7\x9B\xB4\xE7\xBA\xBF"};  // 直线
inline constexpr Word kAreaLabel{"\xC3\xE6\xBB\xFD: ", "\xE9\x9D\xA2\xE7\xA7\xAF: "};
inline constexpr Word kPerimeterLabel{"\xD6\xDC\xB3\xA4: ", "\xE5\x91\xA8\xE9\x95\xBF: "};
inline constexpr Word kCurveLabel{"\xC7\xFA\xCF\xDF: ", "\xE6\x9B\xB2\xE7\xBA\xBF: "};
inline constexpr Word kStraightLabel{"\xD6\xB1\xCF\xDF: ", "\xE7\x9B\xB4\xE7\xBA\xBF: "};
inline constexpr Word kSquareMetreLabel{"\xC6\xBD\xB7\xBD\xC3\xD7(", "\xE5\xB9\xB3\xE6\x96\xB9\xE7\xB1\xB3("};  // 平方米(

inline bool Contains(const char* text, const char* word)
{
    return std::strstr(text, word) != nullptr;
}

inline bool ContainsWord(const char* text, const Word& w)
{
    return Contains(text, w.gbk) || Contains(text, w.utf8);
}

// Last occurrence of a word in either encoding; *after is where the text following it starts.
bool FindLastWord(const char* text, const Word& w, const char** after);
