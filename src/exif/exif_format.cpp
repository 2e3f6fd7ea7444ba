// Formatting functions of the tag tables and the code-list lookup.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "exif/exif_tables.h"
#include "platform/numeric.h"

namespace imprimo {

namespace {

// Splits "a, b, c" into its components.
std::vector<std::string> SplitComponents(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(", ", start);
    if (comma == std::string::npos) {
      parts.push_back(text.substr(start));
      break;
    }
    parts.push_back(text.substr(start, comma - start));
    start = comma + 2;
  }
  return parts;
}

long long LeadingInteger(const std::string& text) {
  return std::strtoll(text.c_str(), nullptr, 10);
}

// "n/d" as a number; 0 when the denominator is 0 or the text is no fraction.
double RationalValue(const std::string& text) {
  size_t slash = text.find('/');
  if (slash == std::string::npos) return static_cast<double>(LeadingInteger(text));
  long long n = std::strtoll(text.c_str(), nullptr, 10);
  long long d = std::strtoll(text.c_str() + slash + 1, nullptr, 10);
  if (d == 0) return 0.0;
  return static_cast<double>(n) / static_cast<double>(d);
}

// The first three rationals of the text (missing ones are 0).
void ThreeRationals(const std::string& text, double v[3]) {
  std::vector<std::string> parts = SplitComponents(text);
  for (int i = 0; i < 3; ++i)
    v[i] = i < static_cast<int>(parts.size()) ? RationalValue(parts[i]) : 0;
}

std::string FormatDouble(const char* format, double value) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

void AppendCodePoint(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string CodeListText(std::string_view codeList, std::string_view value) {
  std::string list = ",";
  list.append(codeList);
  list += ',';
  std::string needle = ",";
  needle.append(value);
  needle += ':';
  size_t at = list.find(needle);
  if (at == std::string::npos) return {};
  size_t from = at + needle.size();
  size_t to = list.find(',', from);
  return list.substr(from, to - from);
}

std::string ComponentLetters(const std::string& text) {
  std::string out;
  for (size_t i = 1; i <= 4 && i < text.size(); ++i) {
    switch (static_cast<unsigned char>(text[i])) {
      case 1:
        out += "Y";
        break;
      case 2:
        out += "Cb";
        break;
      case 3:
        out += "Cr";
        break;
      case 4:
        out += "R";
        break;
      case 5:
        out += "G";
        break;
      case 6:
        out += "B";
        break;
      default:
        break;
    }
  }
  return out;
}

std::string ShutterSpeedText(const std::string& text) {
  double v = RationalValue(SplitComponents(text).front());
  // Exponents beyond this range give no meaningful exposure time.
  if (v > 64) v = 64;
  if (v < -64) v = -64;
  double t = std::pow(2.0, -v);
  std::string out = FormatDouble("%4.4f sec", t);
  if (t <= 0.5) {
    // Up to 2^64 here: capped before the conversion to an integer.
    const double exact = 1.0 / t;
    const int64_t inverse = exact >= INT_MAX ? INT_MAX : RoundHalfEven(exact);
    out += " (1/" + std::to_string(inverse) + ")";
  }
  return out;
}

std::string FlashBitsText(const std::string& text) {
  long long x = LeadingInteger(text);
  std::string out = (x & 1) ? "On" : "Off";
  switch (x & 6) {
    case 2:
      out += ", UNKNOWN";
      break;
    case 4:
      out += ", no strobe return";
      break;
    case 6:
      out += ", strobe return";
      break;
    default:
      break;
  }
  switch (x & 24) {
    case 8:
      out += ", forced";
      break;
    case 16:
      out += ", surpressed";
      break;
    case 24:
      out += ", auto mode";
      break;
    default:
      break;
  }
  if (x & 32) out += ", no flash function";
  if (x & 64) out += ", red-eye reduction";
  return out;
}

std::string DropCharacterCodePrefix(const std::string& text) {
  return text.size() > 8 ? text.substr(8) : std::string();
}

std::string SixteenBitText(const std::string& text) {
  std::vector<std::string> parts = SplitComponents(text);
  std::string out;
  for (size_t i = 0; i < parts.size(); i += 2) {
    long long code = LeadingInteger(parts[i]);
    if (code > 0 && code < 256) AppendCodePoint(out, static_cast<unsigned>(code));
  }
  return out;
}

std::string DegreesMinutesSeconds(const std::string& text) {
  double v[3];
  ThreeRationals(text, v);
  if (v[2] == 0) {
    double whole = std::trunc(v[1]);
    v[2] = (v[1] - whole) * 60.0;
    v[1] = whole;
  }
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, "%0.0f Degrees %0.0f Minutes %0.0f Seconds", v[0], v[1],
                v[2]);
  return buffer;
}

std::string HoursMinutesSeconds(const std::string& text) {
  double v[3];
  ThreeRationals(text, v);
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, "%0.0f:%0.0f:%0.0f", v[0], v[1], v[2]);
  return buffer;
}

}  // namespace imprimo
