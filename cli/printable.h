#pragma once
// Names as the converter prints them.
#include <string>

// A name for the text output and for messages, decoded as every text that shows a name decodes
// it (a GBK name reads as in the window), with control bytes written as escapes (\n, \t, \r,
// \xHH), so a name cannot forge output lines or reach the terminal as a control sequence.
std::string Printable(const char* text);
