#include "import/number_scan.h"

#include <charconv>
#include <climits>
#include <cstddef>
#include <cmath>
#include <system_error>

const char* ScanInt64(const char* p, int64_t* out)
{
    if (!p) return nullptr;
    p = SkipSpace(p);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!IsDigit(*p)) return nullptr;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; IsDigit(*p); ++p) {
        const unsigned digit = unsigned(*p - '0');
        if (magnitude > (limit - digit) / 10) return nullptr;
        magnitude = magnitude * 10 + digit;
    }
    *out = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return p;
}

const char* ScanInt(const char* p, int* out)
{
    int64_t v = 0;
    p = ScanInt64(p, &v);
    if (!p || v < INT_MIN || v > INT_MAX) return nullptr;
    *out = int(v);
    return p;
}

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A byte's digit value, or above 9 when it is no digit.
unsigned DigitValue(char c)
{
    return unsigned(static_cast<unsigned char>(c)) - '0';
}

// Any number ScanDouble's short path does not take: more than 19 digits, or an exponent. start is
// where the number's text begins (its sign, if any), digits where its digits do; it has a digit.
[[gnu::noinline]] const char* ScanLongDecimal(const char* start, const char* digits, bool negative, double* out)
{
    // Up to 19 significant digits as an integer; further integer digits scale it up.
    uint64_t mantissa = 0;
    int scale = 0, significant = 0;
    const char* p = digits;
    for (; IsDigit(*p); ++p)
        if (significant < 19) mantissa = mantissa * 10 + unsigned(*p - '0'), significant += mantissa != 0;
        else ++scale;
    if (*p == '.')
        for (++p; IsDigit(*p); ++p)
            if (significant < 19) mantissa = mantissa * 10 + unsigned(*p - '0'), significant += mantissa != 0, --scale;
    bool exponent = false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            while (IsDigit(*q)) ++q;
            p = q;
            exponent = true;
        }
    }

    // An exact integer over an exact power of ten rounds correctly; everything else (long
    // mantissas, exponents) goes to the library's conversion.
    if (!exponent && mantissa <= (uint64_t(1) << 53) && scale <= 0 && scale >= -22) {
        const double v = double(mantissa) / kPowersOfTen[-scale];
        *out = negative ? -v : v;
        return p;
    }
    double v = 0.0;
    const auto result = std::from_chars(start, p, v);
    if (result.ec != std::errc() || result.ptr != p || !std::isfinite(v)) return nullptr;
    *out = v;
    return p;
}

}  // namespace

const char* ScanDouble(const char* p, double* out)
{
    if (!p) return nullptr;
    p = SkipSpace(p);
    const char* start = p;
    bool negative = false;
    if (*p == '+') start = ++p;
    else if (*p == '-') negative = true, ++p;

    // Most numbers have at most 19 digits in all and no exponent: their digits are read without
    // counting the significant ones, which gives the mantissa and scale the long path would.
    uint64_t mantissa = 0;
    const char* integer = p;
    for (unsigned d; (d = DigitValue(*p)) <= 9; ++p) mantissa = mantissa * 10 + d;
    const char* integerEnd = p;
    const char* fraction = p;
    if (*p == '.') {
        fraction = ++p;
        for (unsigned d; (d = DigitValue(*p)) <= 9; ++p) mantissa = mantissa * 10 + d;
    }
    if (integerEnd == integer && p == fraction) return nullptr;  // no digit
    const ptrdiff_t fractionDigits = p - fraction;
    if ((integerEnd - integer) + fractionDigits <= 19 && *p != 'e' && *p != 'E' && mantissa <= (uint64_t(1) << 53) &&
        fractionDigits <= 22) {
        const double v = double(mantissa) / kPowersOfTen[fractionDigits];
        *out = negative ? -v : v;
        return p;
    }
    return ScanLongDecimal(start, integer, negative, out);
}

const char* Expect(const char* p, char c)
{
    if (!p) return nullptr;
    if (c == ' ') return SkipSpace(p);
    return *p == c ? p + 1 : nullptr;
}

const char* ExpectText(const char* p, const char* text)
{
    for (; p && *text; ++text) p = Expect(p, *text);
    return p;
}

int LeadingInt(const char* p)
{
    p = SkipSpace(p);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t v = 0;
    for (; IsDigit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > int64_t(INT_MAX) + 1) v = int64_t(INT_MAX) + 1;
    }
    if (negative) return int(-v);
    return v > INT_MAX ? INT_MAX : int(v);
}
