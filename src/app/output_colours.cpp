#include "app/output_colours.h"

#include "imaging/colour_convert.h"
#include "imaging/icc_profile.h"

namespace imprimo {

namespace {

// Outputs whose profile the metadata step adds after the save (when the
// metadata is kept): JPEG, PNG, WebP, AVIF and TIFF.
bool MetadataStepCarries(int32_t saveFormat) {
  return saveFormat == 0 || saveFormat == 1 || saveFormat >= 16;
}

// Whether the metadata step's output holds gray pixels: JPEG, PNG and TIFF
// keep a gray picture gray; WebP and AVIF are always colour.
bool MetadataOutputIsGray(int32_t saveFormat, const TImageFormatInfo& info) {
  return info.HasGrayChannel && (saveFormat == 0 || saveFormat == 1 || saveFormat == 18);
}

}  // namespace

TColourStep PlanOutputColours(const std::string& profile, const TImageFileFormat* format,
                              TImageFormat pixels, const TSettings& s) {
  const uint32_t space = IccColourSpace(profile);
  // A CMYK source was turned into sRGB through its profile when it loaded.
  if (profile.empty() || (space != kIccRgb && space != kIccGray)) return TColourStep::None;
  const int32_t override = GetImagingOption(ImagingSaveOverrideFormat);
  const TImageFormatInfo* info =
      GetImageFormatInfo(override > 0 && override != kInvalidOption ? override : pixels);
  if (!info) return TColourStep::None;
  if (s.KeepExif) {
    if (MetadataStepCarries(s.SaveFormat)) {
      const bool gray = MetadataOutputIsGray(s.SaveFormat, *info);
      if (space == (gray ? kIccGray : kIccRgb)) return TColourStep::Carried;
    } else if (format && format->StoresIccProfile(profile, *info)) {
      return TColourStep::Embedded;
    }
  }
  return s.KeepSourceColors ? TColourStep::Kept : TColourStep::Converted;
}

TOutputColours PrepareOutputColours(RasterImage& image, const TPictureMetadata& source,
                                    const std::string& outputPath, const TSettings& s,
                                    TSaveOptions& options) {
  TOutputColours r;
  std::string why = source.IccProblem;
  const std::string& profile = source.Icc;
  // The metadata step names a damaged profile itself when it runs.
  if (profile.empty()) {
    if (!why.empty() && !(s.KeepExif && MetadataStepCarries(s.SaveFormat)))
      r.Warnings.push_back("colour profile ignored: " + why);
    return r;
  }
  r.Step = PlanOutputColours(profile, FormatByFileName(outputPath), image.Format, s);
  if (r.Step == TColourStep::Embedded) {
    options.SetIccProfile(profile);
  } else if (r.Step == TColourStep::Converted && !ConvertToSrgb(image, profile, &why)) {
    r.Step = TColourStep::Kept;
    r.Warnings.push_back("colours not converted to sRGB: " + why);
  }
  return r;
}

}  // namespace imprimo
