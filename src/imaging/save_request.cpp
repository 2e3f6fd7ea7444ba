#include "imaging/save_request.h"

#include <algorithm>
#include <limits>

namespace imprimo {
namespace {

constexpr int32_t kAny = std::numeric_limits<int32_t>::min();
constexpr int32_t kAnyMax = std::numeric_limits<int32_t>::max();

using R = TSaveRequest;
// Each format's rows are contiguous; the defaults and ranges are those the
// formats apply when they save.
constexpr TSaveRequestField kFields[] = {
    {"jpg", "Quality", &R::Quality, ImagingJpegQuality, 90, 1, 100},
    {"jpg", "ChromaSampling", &R::ChromaSampling, ImagingJpegSubsampling, 0, kAny, kAnyMax},
    {"jpg", "DensityUnit", &R::DensityUnit, ImagingJpegDensityUnit, 0, kAny, kAnyMax},
    {"jpg", "DensityX", &R::DensityX, ImagingJpegDensityX, 1, kAny, kAnyMax},
    {"jpg", "DensityY", &R::DensityY, ImagingJpegDensityY, 1, kAny, kAnyMax},
    {"png", "Compression", &R::Compression, ImagingPNGCompressLevel, 5, 0, 9},
    {"mng", "Compression", &R::Compression, ImagingMNGCompressLevel, 5, 0, 9},
    {"jng", "Quality", &R::Quality, ImagingJNGQuality, 90, 1, 100},
    {"webp", "Quality", &R::Quality, ImagingWebPQuality, 90, 1, 100},
    {"webp", "Lossless", &R::Lossless, ImagingWebPLossless, 0, kAny, kAnyMax},
    {"avif", "Quality", &R::Quality, ImagingAvifQuality, 80, 1, 100},
    {"avif", "Speed", &R::Speed, ImagingAvifSpeed, 6, 0, 10},
    {"tif", "Compression", &R::TiffCompression, ImagingTiffCompression, 0, 0, 1},
};

}  // namespace

std::span<const TSaveRequestField> SaveRequestFields() { return kFields; }

std::span<const TSaveRequestField> SaveRequestFieldsOf(std::string_view format) {
  const TSaveRequestField* first = std::find_if(std::begin(kFields), std::end(kFields),
                                                [&](const auto& f) { return f.Format == format; });
  const TSaveRequestField* last =
      std::find_if(first, std::end(kFields), [&](const auto& f) { return f.Format != format; });
  return {first, last};
}

const TSaveRequestField* FindSaveRequestField(std::string_view format, std::string_view name) {
  for (const TSaveRequestField& field : SaveRequestFieldsOf(format))
    if (field.Name == name) return &field;
  return nullptr;
}

int32_t CheckedSaveValue(const TSaveRequestField& field, int32_t value) {
  return value < field.Min || value > field.Max ? field.Default : value;
}

TSaveOptions CheckedSaveOptions(const TSaveRequest& request) {
  TSaveOptions options;
  for (const TSaveRequestField& field : SaveRequestFieldsOf(request.Format))
    options.Set(field.OptionId, CheckedSaveValue(field, request.*field.Member));
  return options;
}

}  // namespace imprimo
