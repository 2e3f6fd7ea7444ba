// The declared save settings against what the formats do when they save: a
// value outside a setting's range is written exactly as its default, and a
// request is checked into the option values of its own format only.
#include "imaging/save_request.h"

#include <gtest/gtest.h>

#include <set>

#include "imaging/imaging_stream.h"
#include "support/imaging_support.h"

namespace imprimo {
namespace {

std::vector<uint8_t> Saved(const std::string& format, const RasterImage& image,
                           const TSaveOptions& options) {
  TMemoryStream stream;
  EXPECT_TRUE(WriteImageStream(format, stream, image, options)) << format;
  return stream.Data();
}

TEST(SaveRequest, EveryRangeAndDefaultIsTheOneItsFormatApplies) {
  const RasterImage image = testing::SmoothImage(24, 16, ifR8G8B8);
  std::set<std::string> formats;
  for (const TSaveRequestField& field : SaveRequestFields()) {
    SCOPED_TRACE(std::string(field.Format) + " " + field.Name);
    formats.insert(field.Format);
    EXPECT_GE(field.Default, field.Min);
    EXPECT_LE(field.Default, field.Max);
    if (field.Min == INT32_MIN && field.Max == INT32_MAX) continue;  // no range
    const auto withDefault =
        Saved(field.Format, image, TSaveOptions().Set(field.OptionId, field.Default));
    for (int32_t outside : {field.Min - 1, field.Max + 1}) {
      EXPECT_EQ(CheckedSaveValue(field, outside), field.Default);
      EXPECT_EQ(Saved(field.Format, image, TSaveOptions().Set(field.OptionId, outside)),
                withDefault)
          << "the format writes " << outside << " otherwise than the declared default";
    }
    EXPECT_EQ(CheckedSaveValue(field, field.Min), field.Min);
    EXPECT_EQ(CheckedSaveValue(field, field.Max), field.Max);
  }
  // Each format's settings are found together.
  for (const std::string& format : formats)
    for (const TSaveRequestField& field : SaveRequestFieldsOf(format))
      EXPECT_EQ(field.Format, format);
}

TEST(SaveRequest, OnlyTheRequestedFormatsOptionsAreSetAndChecked) {
  TSaveRequest request;
  request.Format = "avif";
  request.Quality = 150;
  request.Speed = 3;
  TSaveOptions options = CheckedSaveOptions(request);
  EXPECT_EQ(options.Get(ImagingAvifQuality), 80);
  EXPECT_EQ(options.Get(ImagingAvifSpeed), 3);
  EXPECT_EQ(options.Get(ImagingJpegQuality), kInvalidOption);
  EXPECT_EQ(options.Values().size(), 2u);

  request.Format = "jpg";
  options = CheckedSaveOptions(request);
  EXPECT_EQ(options.Get(ImagingJpegQuality), 90);
  EXPECT_EQ(options.Get(ImagingAvifQuality), kInvalidOption);

  for (const char* none : {"bmp", "", "psd"}) {
    request.Format = none;
    EXPECT_TRUE(CheckedSaveOptions(request).Values().empty()) << none;
  }
}

}  // namespace
}  // namespace imprimo
