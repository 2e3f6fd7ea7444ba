// Internal to the EXIF module: the row form of the tag tables and the
// formatting functions the tables refer to.
#pragma once

#include <cstdint>
#include <string>

#include "exif/exif_reader.h"

namespace imprimo {

struct TagRow {
  uint16_t tag;
  const char* name;
  const char* description;
  const char* codeList;
  const char* formatString;
  TFormatFunction function;
};

// Formatting functions: each takes the display text built so far.
std::string ComponentLetters(const std::string& text);         // "\"\x01\x02\x03\x00\"" -> "YCbCr"
std::string ShutterSpeedText(const std::string& text);         // APEX value -> "0.0167 sec (1/60)"
std::string FlashBitsText(const std::string& text);            // "25" -> "On, auto mode"
std::string DropCharacterCodePrefix(const std::string& text);  // text from its ninth character
std::string SixteenBitText(const std::string& text);           // "65, 0, 66, 0" -> "AB"
std::string DegreesMinutesSeconds(const std::string& text);    // three rationals
std::string HoursMinutesSeconds(const std::string& text);      // three rationals

}  // namespace imprimo
