#pragma once
// Text the archive keeps beside a name's bytes, so that it can be searched and shown.
#include <string>
#include <string_view>

// Whether text is valid UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text);

// A file name as UTF-8: as it is when it is UTF-8, decoded as GBK (the instrument's naming)
// when it reads so, else with every other byte replaced by U+FFFD.
std::string NameAsText(std::string_view name);

// "+08:00" for an offset east of UTC in seconds.
std::string UtcOffsetText(long seconds);
