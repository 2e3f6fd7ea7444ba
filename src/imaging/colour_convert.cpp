#include "imaging/colour_convert.h"

#include <lcms2.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/icc_profile.h"

namespace imprimo {

namespace {

struct TProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TTransformDeleter {
  void operator()(void* t) const { cmsDeleteTransform(t); }
};
using TProfile = std::unique_ptr<void, TProfileCloser>;
using TTransform = std::unique_ptr<void, TTransformDeleter>;

void SetWhy(std::string* why, const char* text) {
  if (why) *why = text;
}

// The sample layout of an RGB or gray pixel format; 0 for others.
cmsUInt32Number RgbLayout(TImageFormat format) {
  switch (format) {
    case ifR8G8B8:
      return TYPE_BGR_8;
    case ifA8R8G8B8:
    case ifX8R8G8B8:
    case ifIndex8:  // its palette entries
      return TYPE_BGRA_8;
    case ifR16G16B16:
      return TYPE_BGR_16;
    case ifA16R16G16B16:
      return TYPE_BGRA_16;
    default:
      return 0;
  }
}

cmsUInt32Number GrayLayout(TImageFormat format) {
  switch (format) {
    case ifGray8:
      return TYPE_GRAY_8;
    case ifA8Gray8:
      return TYPE_GRAYA_8;
    case ifGray16:
      return TYPE_GRAY_16;
    case ifA16Gray16:
      return TYPE_GRAYA_16;
    default:
      return 0;
  }
}

// Gray with the sRGB tone curve on the D50 white of the connection space.
TProfile GrayOnSrgbCurve() {
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
  if (!curve) return nullptr;
  TProfile p(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return p;
}

// RGB in sRGB primaries on the gray profile's tone curve: R = G = B reads
// exactly as the gray profile reads that level. Null when the gray profile
// has no plain tone curve.
TProfile RgbOnGrayCurve(void* gray) {
  auto* trc = static_cast<cmsToneCurve*>(cmsReadTag(gray, cmsSigGrayTRCTag));
  if (!trc) return nullptr;
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curves[3] = {trc, trc, trc};
  return TProfile(cmsCreateRGBProfile(&white, &primaries, curves));
}

// Whether 8-bit samples come back through the conversion changed by a level
// at most, on a grid of colours (every level for gray): the profile is sRGB
// in other words (a camera's tables round a little differently), and its
// pictures are left exactly as they are.
bool KeepsEightBitSamples(void* input, void* output, bool gray) {
  const cmsUInt32Number layout = gray ? TYPE_GRAY_8 : TYPE_RGB_8;
  TTransform t(cmsCreateTransform(input, layout, output, layout, INTENT_RELATIVE_COLORIMETRIC, 0));
  if (!t) return false;
  std::vector<uint8_t> in;
  if (gray) {
    for (int v = 0; v < 256; ++v) in.push_back(uint8_t(v));
  } else {
    for (int r = 0; r < 256; r += 15)
      for (int g = 0; g < 256; g += 15)
        for (int b = 0; b < 256; b += 15) in.insert(in.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
  }
  std::vector<uint8_t> out(in.size());
  cmsDoTransform(t.get(), in.data(), out.data(), cmsUInt32Number(in.size() / (gray ? 1 : 3)));
  for (size_t i = 0; i < in.size(); ++i)
    if (std::abs(int(in[i]) - int(out[i])) > 1) return false;
  return true;
}

bool Run(void* input, void* output, cmsUInt32Number layout, RasterImage& image) {
  if (T_BYTES(layout) == 1 && KeepsEightBitSamples(input, output, T_CHANNELS(layout) == 1))
    return true;
  TTransform t(cmsCreateTransform(input, layout, output, layout, INTENT_RELATIVE_COLORIMETRIC,
                                  cmsFLAGS_COPY_ALPHA));
  if (!t) return false;
  if (image.Format == ifIndex8) {
    cmsDoTransform(t.get(), image.Palette.get(), image.Palette.get(), 256);
    return true;
  }
  // In place, row by row: the layouts are the same on both sides.
  for (int y = 0; y < image.Height; ++y)
    cmsDoTransform(t.get(), image.Row(y), image.Row(y), cmsUInt32Number(image.Width));
  return true;
}

}  // namespace

bool ConvertToSrgb(RasterImage& image, std::string_view profile, std::string* why) {
  if (!ImageIsValid(image) || (image.Format == ifIndex8 && !image.Palette)) {
    SetWhy(why, "the picture is empty");
    return false;
  }
  if (!IccProfileIsSound(profile, why)) return false;
  TProfile source(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
  if (!source) {
    SetWhy(why, "the colour profile cannot be read");
    return false;
  }
  const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
  const cmsUInt32Number rgb = RgbLayout(image.Format), gray = GrayLayout(image.Format);
  bool done = false;
  if (space == cmsSigRgbData && rgb) {
    TProfile srgb(cmsCreate_sRGBProfile());
    done = srgb && Run(source.get(), srgb.get(), rgb, image);
  } else if (space == cmsSigGrayData && gray) {
    TProfile target = GrayOnSrgbCurve();
    done = target && Run(source.get(), target.get(), gray, image);
  } else if (space == cmsSigGrayData && rgb) {
    TProfile asRgb = RgbOnGrayCurve(source.get());
    TProfile srgb(cmsCreate_sRGBProfile());
    if (!asRgb) {
      SetWhy(why, "the gray colour profile has no tone curve to apply to colour pixels");
      return false;
    }
    done = srgb && Run(asRgb.get(), srgb.get(), rgb, image);
  } else if (space == cmsSigRgbData || space == cmsSigGrayData) {
    SetWhy(why,
           space == cmsSigRgbData
               ? "the colour profile is for RGB data and the picture is not RGB"
               : "the colour profile is for gray data and the picture is neither gray nor RGB");
    return false;
  } else {
    SetWhy(why, "the colour profile is neither for RGB nor for gray data");
    return false;
  }
  if (!done) SetWhy(why, "the colour profile cannot be applied");
  return done;
}

}  // namespace imprimo
