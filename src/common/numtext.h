// Numbers as the user's locale writes them. The settings are stored as text;
// a value saved under a locale with a decimal comma reads back under any
// locale, as one saved with a point does.
#pragma once

#include <string>

#include "common/numeric.h"

namespace wh {

// The decimal separator of the current numeric locale (LC_NUMERIC).
char LocaleDecimalSeparator();

// Shortest text (at most 7 significant digits) that reads back as the same
// single-precision value; no leading blank; the locale's decimal separator.
std::string SingleToText(float v);
std::string IntegerToText(long long v);

// Text to number. Blanks around the number are allowed; a sign, digits with
// '.' or ',' as the decimal separator (either, under any locale) and an
// exponent are understood. Text that
// is not a number raises "Type mismatch"; a number outside the target's
// range raises "Overflow". Integers round fractions half to even.
double TextToDouble(const std::string& text);
float TextToSingle(const std::string& text);
Int16 TextToInt16(const std::string& text);
Int32 TextToInt32(const std::string& text);

// Reads the leading number of a text the forgiving way: blanks anywhere are
// skipped, reading stops at the first character that cannot continue the
// number, and a text without digits is 0. Always '.' as separator.
double Val(const std::string& text);

}  // namespace wh
