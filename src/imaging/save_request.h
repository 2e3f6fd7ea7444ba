// A typed save request: what one save asks of the encoder of its output
// format. Each format's settings are declared once, with their option id,
// default and valid range, in SaveRequestFields; CheckedSaveOptions is the one
// place where a request is brought into range and turned into the option
// values of the save call.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "imaging/file_format.h"

namespace imprimo {

struct TSaveRequest {
  // The output format by extension without its dot ("jpg", "webp"); an
  // extension without settings of its own is saved with none.
  std::string Format;
  int32_t Quality = 90;         // JPEG, JNG, WebP, AVIF
  int32_t Compression = 5;      // PNG, MNG: deflate level
  int32_t ChromaSampling = 0;   // JPEG: 0 4:2:0, 1 4:2:2, 2 4:4:4
  int32_t Lossless = 0;         // WebP: non-zero codes losslessly
  int32_t Speed = 6;            // AVIF encoder speed
  int32_t TiffCompression = 0;  // TIFF: 0 LZW, 1 Deflate
  int32_t DensityUnit = 0;      // JPEG JFIF density: 0 none, 1 per inch, 2 per cm
  int32_t DensityX = 1;         // JPEG JFIF density values
  int32_t DensityY = 1;
  int32_t FlattenColor = 0xFFFFFF;  // TColor under transparency for outputs without alpha
};

// One setting of one output format: the request field it comes from, the
// option id it is saved as, and what the format does with a value outside
// Min..Max (it takes Default; fields without a range pass as they are).
struct TSaveRequestField {
  const char* Format;
  const char* Name;
  int32_t TSaveRequest::*Member;
  int32_t OptionId;
  int32_t Default;
  int32_t Min;
  int32_t Max;
};

// Every declared setting, grouped by format.
std::span<const TSaveRequestField> SaveRequestFields();
// The declared settings of one format ("jpg"); empty for a format with none.
std::span<const TSaveRequestField> SaveRequestFieldsOf(std::string_view format);

// The declared setting Name ("Quality") of format, or null.
const TSaveRequestField* FindSaveRequestField(std::string_view format, std::string_view name);

// A value of field brought into its range: outside Min..Max the default.
int32_t CheckedSaveValue(const TSaveRequestField& field, int32_t value);

// The option values of the request's format, each checked against its
// declaration, for the save call.
TSaveOptions CheckedSaveOptions(const TSaveRequest& request);

}  // namespace imprimo
