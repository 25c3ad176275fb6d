// Names as the window and the report show them: every character that would act (a line end, a
// terminal's control, a reordering mark) shows as a sign of itself; the rest as it is.
#include <gtest/gtest.h>

#include <string>

#include "import/visible_name.h"

namespace {

TEST(VisibleName, ControlsAndReorderingMarksShowAsSigns)
{
    const struct {
        std::string name, shown;
    } cases[] = {
        {"面积20240315.nmea", "面积20240315.nmea"},
        {"a\nb\r\t.nmea", "a\xe2\x90\x8a" "b\xe2\x90\x8d\xe2\x90\x89.nmea"},
        {"x\x1b[2J\x7f", "x\xe2\x90\x9b[2J\xe2\x90\xa1"},
        {"name\xe2\x80\xaegpj.exe.nmea", "name<U+202E>gpj.exe.nmea"},
        {"\xe2\x81\xa6x\xe2\x81\xa9\xe2\x80\x8f", "<U+2066>x<U+2069><U+200F>"},
        {"c\xc2\x9b" "31m\xc2\x85", "c<U+009B>31m<U+0085>"},
        {"\xbe\xe0\xc0\xeb\x9b.nmea", "\xbe\xe0\xc0\xeb\x9b.nmea"},  // not UTF-8: left to the decoder's caller
        {"cut\xe2\x80", "cut\xe2\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(VisibleName(c.name), c.shown) << c.name;
}

}  // namespace
