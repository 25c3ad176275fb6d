#pragma once
// Names as the converter prints them.
#include <cstddef>
#include <string>

// A name for the text output and for messages, decoded as every text that shows a name decodes
// it (a GBK name reads as in the window), with control bytes written as escapes (\n, \t, \r,
// \xHH) and C1 and bidirectional controls as \uXXXX, so a name cannot forge output lines, reach
// the terminal as a control sequence or show itself reversed.
std::string Printable(const char* raw);

// The code point of the valid UTF-8 sequence of n bytes at s.
unsigned Utf8CodePoint(const unsigned char* s, size_t n);

// C1 controls, and the characters that reorder the text around them (embeddings, overrides,
// isolates): shown raw, they make a terminal act or show a name reversed.
bool IsHiddenControl(unsigned codePoint);
