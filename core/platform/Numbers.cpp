#include "core/platform/Numbers.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view SkipLeadingBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

// The parts of a decimal number found at the start of a text.
struct DecimalScan {
  std::size_t length = 0;  // 0: no number
  bool negative = false;
  std::size_t signLength = 0;
  std::string_view integerDigits;
  std::string_view fractionDigits;
  long long exponent = 0;  // saturated far beyond any double's range
};

// Longest prefix of the form [sign] digits [. digits] [(e|E) [sign] digits],
// with at least one mantissa digit on either side of the point.
DecimalScan ScanDecimal(std::string_view text) {
  DecimalScan scan;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    scan.negative = text[i] == '-';
    scan.signLength = 1;
    ++i;
  }
  const std::size_t integerStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  scan.integerDigits = text.substr(integerStart, i - integerStart);
  if (i < text.size() && text[i] == '.') {
    const std::size_t fractionStart = i + 1;
    std::size_t j = fractionStart;
    while (j < text.size() && IsDigit(text[j])) ++j;
    scan.fractionDigits = text.substr(fractionStart, j - fractionStart);
    i = j;
  }
  if (scan.integerDigits.empty() && scan.fractionDigits.empty()) return DecimalScan{};
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      ++j;
    }
    if (j < text.size() && IsDigit(text[j])) {
      long long exponent = 0;
      while (j < text.size() && IsDigit(text[j])) {
        if (exponent < 1000000000LL) exponent = exponent * 10 + (text[j] - '0');
        ++j;
      }
      scan.exponent = negativeExponent ? -exponent : exponent;
      i = j;
    }
  }
  scan.length = i;
  return scan;
}

// Power of ten of the leading significant digit; used only to tell an
// overflow from an underflow when from_chars reports a range error.
long long DecimalMagnitude(const DecimalScan& scan) {
  for (std::size_t k = 0; k < scan.integerDigits.size(); ++k) {
    if (scan.integerDigits[k] != '0') {
      return static_cast<long long>(scan.integerDigits.size() - k - 1) + scan.exponent;
    }
  }
  for (std::size_t k = 0; k < scan.fractionDigits.size(); ++k) {
    if (scan.fractionDigits[k] != '0') return -static_cast<long long>(k + 1) + scan.exponent;
  }
  return 0;
}

enum class Range { Ok, Overflow };

// Converts a scanned number (text starts at the number) to double or float;
// an underflow gives a signed zero.
template <typename Real>
Range ConvertScanned(std::string_view text, const DecimalScan& scan, Real& value) {
  // from_chars takes a '-' but no '+'.
  const std::size_t start = scan.negative ? 0 : scan.signLength;
  const char* first = text.data() + start;
  const char* last = text.data() + scan.length;
  Real result = 0;
  const auto [ptr, ec] = std::from_chars(first, last, result, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    if (DecimalMagnitude(scan) > 0) {
      value = scan.negative ? -std::numeric_limits<Real>::infinity() : std::numeric_limits<Real>::infinity();
      return Range::Overflow;
    }
    value = scan.negative ? -Real(0) : Real(0);
    return Range::Ok;
  }
  // The scan admits nothing that from_chars rejects.
  value = (ec == std::errc() && ptr == last) ? result : Real(0);
  return Range::Ok;
}

template <typename Real>
Real ParseLeading(std::string_view text) {
  text = SkipLeadingBlanks(text);
  const DecimalScan scan = ScanDecimal(text);
  Real value = 0;
  if (scan.length != 0) ConvertScanned(text, scan, value);
  return value;
}

}  // namespace

std::optional<int32_t> ParseInteger(std::string_view text) {
  text = SkipLeadingBlanks(text);
  if (text.empty()) return std::nullopt;

  int base = 10;
  bool negative = false;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // from_chars on an unsigned type takes no sign, so only digits remain valid.
  if (text.empty()) return std::nullopt;
  uint64_t magnitude = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;

  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  if (negative) {
    if (magnitude > kMax + 1) return std::nullopt;
    return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  }
  if (magnitude > kMax) return std::nullopt;
  return static_cast<int32_t>(magnitude);
}

std::string FormatInteger(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<double> ParseDecimal(std::string_view text) {
  text = SkipLeadingBlanks(text);
  const DecimalScan scan = ScanDecimal(text);
  if (scan.length == 0 || scan.length != text.size()) return std::nullopt;
  double value = 0;
  if (ConvertScanned(text, scan, value) == Range::Overflow) return std::nullopt;
  return value;
}

double ParseLeadingDecimal(std::string_view text) { return ParseLeading<double>(text); }

float ParseLeadingFloat(std::string_view text) { return ParseLeading<float>(text); }

std::string FormatGeneral(double value, char decimalMark) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  // 15 significant digits, correctly rounded (exact ties to even), as
  // "d.dddddddddddddde[+-]xx"; the notation is chosen from the rounded value.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, 14);
  const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t ePos = scientific.find('e');
  std::string_view mantissa = scientific.substr(0, ePos);
  int exponent = 0;
  {
    std::string_view exponentText = scientific.substr(ePos + 1);
    if (!exponentText.empty() && exponentText[0] == '+') exponentText.remove_prefix(1);
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  }

  std::string out;
  if (!mantissa.empty() && mantissa[0] == '-') {
    out += '-';
    mantissa.remove_prefix(1);
  }
  std::string digits;
  for (char c : mantissa) {
    if (IsDigit(c)) digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  if (exponent >= -4 && exponent < 15) {
    if (exponent < 0) {
      out += '0';
      out += decimalMark;
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const std::size_t integerCount = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= integerCount) {
        out += digits;
        out.append(integerCount - digits.size(), '0');
      } else {
        out.append(digits, 0, integerCount);
        out += decimalMark;
        out.append(digits, integerCount, std::string::npos);
      }
    }
    return out;
  }

  out += digits[0];
  if (digits.size() > 1) {
    out += decimalMark;
    out.append(digits, 1, std::string::npos);
  }
  out += 'E';
  char exponentText[16];
  const auto written = std::to_chars(exponentText, exponentText + sizeof exponentText, exponent);
  out.append(exponentText, written.ptr);
  return out;
}

std::string FormatFixed(double value, int width, int precision) {
  if (precision < 0) precision = 0;
  // Room for 309 integer digits, sign, point and the fraction.
  std::string buffer(static_cast<std::size_t>(precision) + 320, '\0');
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, precision);
  buffer.resize(static_cast<std::size_t>(result.ptr - buffer.data()));
  if (width > 0 && buffer.size() < static_cast<std::size_t>(width)) {
    buffer.insert(0, static_cast<std::size_t>(width) - buffer.size(), ' ');
  }
  return buffer;
}

std::string FormatDuration(double seconds) {
  const auto total = static_cast<int64_t>(std::max(0.0, std::round(seconds)));
  const auto twoDigits = [](int64_t value) { return (value < 10 ? "0" : "") + FormatInteger(value); };
  return FormatInteger(total / 3600) + ":" + twoDigits(total / 60 % 60) + ":" + twoDigits(total % 60);
}

}  // namespace platform
