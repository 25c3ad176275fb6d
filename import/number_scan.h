#pragma once
// The loader's number readers. They follow scanf's conversions: leading white space skipped, an
// optional sign, then digits. Each returns the position after the number, or nullptr when no
// number reads (no digits, or a value out of range); a nullptr input passes through, so a chain
// of reads fails as a whole.
#include <cstdint>

inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline const char* SkipSpace(const char* p)
{
    while (IsSpace(*p)) ++p;
    return p;
}

const char* ScanInt64(const char* p, int64_t* out);
const char* ScanInt(const char* p, int* out);

// A decimal number: digits with an optional fraction and exponent, correctly rounded. Hexadecimal,
// "inf" and "nan" are not numbers here; a value beyond the range of double does not read.
const char* ScanDouble(const char* p, double* out);

// scanf's ordinary characters: a literal must be the next byte; a blank in a format matches any
// amount of white space, none included.
const char* Expect(const char* p, char c);
const char* ExpectText(const char* p, const char* text);

// atoi with saturation: blanks, a sign, digits; no digits give 0.
int LeadingInt(const char* p);
