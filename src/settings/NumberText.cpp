#include "settings/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace quarnix {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Runtime blanks: space and the controls tab to carriage return.
qsizetype SkipBlanks(QStringView text, qsizetype i) {
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    return i;
}

bool ReadSign(QStringView text, qsizetype* i) {
    if (*i < text.size() && (text[*i] == u'-' || text[*i] == u'+')) {
        return text[(*i)++] == u'-';
    }
    return false;
}

} // namespace

int LeadingIntegerWrapping(QStringView text) {
    qsizetype i = SkipBlanks(text, 0);
    const bool negative = ReadSign(text, &i);
    std::uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10u + static_cast<std::uint32_t>(text[i].unicode() - u'0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int>(value); // two's complement, as Windows
}

int LeadingIntegerClamped(QStringView text) {
    qsizetype i = SkipBlanks(text, 0);
    const bool negative = ReadSign(text, &i);
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(value);
}

double LeadingDecimal(QStringView text) {
    // The longest prefix that reads as [sign] digits [. digits] [e [sign] digits], handed to from_chars,
    // which is exact and locale-free.
    qsizetype i = SkipBlanks(text, 0);
    const qsizetype start = i;
    ReadSign(text, &i);
    qsizetype digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        ReadSign(text, &j);
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    const std::string ascii = text.sliced(start, i - start).toLatin1().toStdString();
    const char* first = ascii.c_str();
    if (*first == '+') {
        ++first; // from_chars takes no plus sign
    }
    double value = 0.0;
    const auto result = std::from_chars(first, ascii.c_str() + ascii.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the runtime gives HUGE_VAL or 0.
        const std::size_t exponent = ascii.find_first_of("eE");
        if (exponent != std::string::npos && exponent + 1 < ascii.size() && ascii[exponent + 1] == '-') {
            return 0.0;
        }
        return *first == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

} // namespace quarnix
