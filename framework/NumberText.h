// Numbers in settings and displays, read and written the same way whatever the locale: a decimal point,
// never a comma, and a reader that names the first character it cannot take.
#pragma once

#include <QString>
#include <cstdint>

// Reads [+|-]digits[.digits][(e|E)[+|-]digits], with at least one digit before or after the point and
// nothing around it (no blanks). On failure `errorPosition` is the 1-based position of the first character
// that cannot continue the number, or the length + 1 when the text ends too early; `value` is untouched.
// An exponent too large for a double gives an infinite value, which the caller judges.
bool ParseReal(const QString& text, double& value, int& errorPosition);

// Reads [+|-]digits in the 32-bit range, or [+|-]$hexdigits of at most 32 bits (taken as two's complement,
// so $FFFFFFFF is -1). False for anything else; `value` is then untouched.
bool ParseInteger(const QString& text, int32_t& value);

// Str(value:width:decimals): fixed point with `decimals` digits after a decimal point, rounded from the
// exact binary value with halves away from zero, padded with blanks on the left to at least `width`.
QString FormatFixed(double value, int width, int decimals);
