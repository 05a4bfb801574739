// Numbers read from the start of a text the way the Windows runtime reads them (leading blanks, a sign,
// then digits; reading stops at the first character that does not fit). Locale-free on purpose: Qt sets
// the C locale from the environment, which would change strtod's decimal point.
#pragma once

#include <QStringView>

namespace quarnix {

// RtlUnicodeStringToInteger (decimal), as GetPrivateProfileIntW uses it: 32-bit wrap-around on overflow.
int LeadingIntegerWrapping(QStringView text);

// _wtoi / _wtol: the value is held at INT_MIN / INT_MAX on overflow.
int LeadingIntegerClamped(QStringView text);

// _wtof for plain decimal fractions: blanks, sign, digits, an optional '.' and digits, an optional
// exponent. No digits give 0.0.
double LeadingDecimal(QStringView text);

} // namespace quarnix
