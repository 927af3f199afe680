#include "common/numtext.h"

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace wh {

char LocaleDecimalSeparator() {
  const std::lconv* lc = std::localeconv();
  return lc && lc->decimal_point && lc->decimal_point[0] ? lc->decimal_point[0] : '.';
}

namespace {

// Parses "[sign]digits[sep digits][E[sign]digits]" surrounded by blanks,
// independent of the C library's own locale handling. The separator may be
// '.' or ',' whatever the locale: the store never writes digit grouping, so
// a comma can only be a decimal comma, and a file written under one locale
// (or copied from another machine) reads the same under any other.
bool ParseNumber(const std::string& text, double* out) {
  size_t i = 0, n = text.size();
  auto blank = [&](size_t k) { return text[k] == ' ' || text[k] == '\t'; };
  while (i < n && blank(i)) ++i;
  size_t end = n;
  while (end > i && blank(end - 1)) --end;
  if (i >= end) return false;

  std::string c_text;  // the same number in the C locale's spelling
  if (text[i] == '+' || text[i] == '-') c_text.push_back(text[i++]);
  size_t digits = 0;
  while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
    c_text.push_back(text[i++]);
    ++digits;
  }
  if (i < end && (text[i] == '.' || text[i] == ',')) {
    c_text.push_back('.');
    ++i;
    while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
      c_text.push_back(text[i++]);
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    c_text.push_back('e');
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) c_text.push_back(text[i++]);
    size_t exp_digits = 0;
    while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
      c_text.push_back(text[i++]);
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  if (i != end) return false;
  // strtod follows LC_NUMERIC; turn its separator into ours.
  char c_sep = LocaleDecimalSeparator();
  for (char& ch : c_text) {
    if (ch == '.') ch = c_sep;
  }
  *out = std::strtod(c_text.c_str(), nullptr);
  return true;
}

}  // namespace

double TextToDouble(const std::string& text) {
  double v;
  if (!ParseNumber(text, &v)) Raise(kErrTypeMismatch);
  if (!std::isfinite(v)) Raise(kErrOverflow);
  return v;
}

float TextToSingle(const std::string& text) {
  double v = TextToDouble(text);
  if (std::fabs(v) > std::numeric_limits<float>::max()) Raise(kErrOverflow);
  return static_cast<float>(v);
}

Int16 TextToInt16(const std::string& text) { return Round16(TextToDouble(text)); }
Int32 TextToInt32(const std::string& text) { return Round32(TextToDouble(text)); }

std::string SingleToText(float v) {
  char buf[64];
  if (!std::isfinite(v)) {
    std::snprintf(buf, sizeof buf, "%G", static_cast<double>(v));
    return buf;
  }
  // The fewest significant digits (at most 7) that read back as v.
  int precision = 1;
  for (; precision < 7; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, static_cast<double>(v));
    if (static_cast<float>(std::strtod(buf, nullptr)) == v) break;
  }
  std::snprintf(buf, sizeof buf, "%.*E", precision - 1, static_cast<double>(v));
  // The decimal exponent after rounding to those digits decides the form:
  // plain digits while they fit the 7 digits, the exponent form beyond.
  const int exponent = std::atoi(std::strchr(buf, 'E') + 1);
  if (v != 0 && (exponent < -5 || exponent >= 7)) {
    std::snprintf(buf, sizeof buf, "%.*G", precision, static_cast<double>(v));
  } else {
    const int decimals = precision - 1 - exponent;
    std::snprintf(buf, sizeof buf, "%.*f", decimals > 0 ? decimals : 0, static_cast<double>(v));
  }
  // snprintf used the C library's separator; write the locale's.
  std::string s = buf;
  const char sep = LocaleDecimalSeparator();
  for (char& ch : s) {
    if (ch == '.' || ch == ',') ch = sep;
  }
  return s;
}

std::string IntegerToText(long long v) { return std::to_string(v); }

double Val(const std::string& text) {
  std::string digits;
  size_t i = 0, n = text.size();
  auto skip_blanks = [&] {
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  };
  auto is_digit = [&](size_t k) {
    return k < n && std::isdigit(static_cast<unsigned char>(text[k]));
  };
  skip_blanks();
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    digits.push_back(text[i++]);
  }
  bool any = false, point = false;
  for (;;) {
    skip_blanks();
    if (is_digit(i)) {
      digits.push_back(text[i++]);
      any = true;
    } else if (i < n && text[i] == '.' && !point) {
      digits.push_back('.');
      point = true;
      ++i;
    } else {
      break;
    }
  }
  if (!any) return 0.0;
  skip_blanks();
  if (i < n && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    size_t save = i;
    std::string exp = "e";
    ++i;
    skip_blanks();
    if (i < n && (text[i] == '+' || text[i] == '-')) exp.push_back(text[i++]);
    bool exp_digits = false;
    for (;;) {
      skip_blanks();
      if (!is_digit(i)) break;
      exp.push_back(text[i++]);
      exp_digits = true;
    }
    if (exp_digits) {
      digits += exp;
    } else {
      i = save;
    }
  }
  // Parse with '.' whatever the locale says.
  char sep = LocaleDecimalSeparator();
  for (char& ch : digits) {
    if (ch == '.') ch = sep;
  }
  return std::strtod(digits.c_str(), nullptr);
}

}  // namespace wh
