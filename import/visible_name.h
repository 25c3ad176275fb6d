#pragma once
// Names as the window and the report show them: what the name holds, on one line, in its own
// order.
#include <string>
#include <string_view>

// name (UTF-8) with each character that would act instead of show replaced by a visible sign:
// C0 controls and DEL by their control pictures (a line feed as "␊", U+240A), C1 controls and
// the bidirectional controls that reorder the text around them (U+061C, U+200E, U+200F,
// U+202A–U+202E, U+2066–U+2069) by "<U+XXXX>". Bytes that are not UTF-8 pass unchanged.
std::string VisibleName(std::string_view name);
