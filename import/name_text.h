#pragma once
// How a file name's bytes are shown to people. Linux names are UTF-8; the instrument names its
// files in GBK; a damaged name may be neither. Every text that shows a name (the window's
// dialogs, list, status line and report, the GIS files' attributes, the converter's messages)
// goes through this one decoder, so a name reads the same everywhere.
#include <string>
#include <string_view>

// bytes as UTF-8 text: themselves where they are valid UTF-8, else decoded from GBK (as
// GB18030, its superset), else their valid UTF-8 runs kept and every other byte written as
// "\xHH", so that nothing of the name is lost or silently replaced.
std::string NameText(std::string_view bytes);

// Whether bytes are valid UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Length of the valid UTF-8 sequence at the start of bytes (1 for an ASCII byte), or 0.
size_t Utf8SequenceLength(std::string_view bytes);
