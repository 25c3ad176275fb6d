#pragma once
// Time text the archive writes.
#include <string>

// "+08:00" for an offset east of UTC in seconds.
std::string UtcOffsetText(long seconds);
