// Colour profiles built with LittleCMS for the tests: sRGB, the wide-gamut
// Adobe RGB and ProPhoto spaces (from their published primaries, white
// points and gammas), and a plain gray one.
#pragma once

#include <lcms2.h>

#include <string>
#include <vector>

#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo::testing {

// The bytes of p, which is closed.
inline std::string SaveIccProfile(cmsHPROFILE p) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(p, nullptr, &size);
  std::string bytes(size, '\0');
  cmsSaveProfileToMem(p, bytes.data(), &size);
  cmsCloseProfile(p);
  return bytes;
}

inline std::string SrgbIccProfile() { return SaveIccProfile(cmsCreate_sRGBProfile()); }

// An RGB profile from its white, primaries and one gamma for the three curves.
inline std::string RgbIccProfile(cmsCIExyY white, cmsCIExyYTRIPLE primaries, double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  std::string bytes = SaveIccProfile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  return bytes;
}

inline std::string AdobeRgbIccProfile() {
  return RgbIccProfile({0.3127, 0.3290, 1.0},
                       {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}}, 563.0 / 256.0);
}

inline std::string ProPhotoIccProfile() {
  return RgbIccProfile({0.3457, 0.3585, 1.0},
                       {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}}, 1.8);
}

inline std::string GrayIccProfile(double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  std::string bytes = SaveIccProfile(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

// A JPEG of image with profile in one APP2 segment right after SOI.
inline std::vector<uint8_t> JpegWithIccProfile(const RasterImage& image,
                                               const std::string& profile) {
  TMemoryStream stream;
  if (!WriteImageStream("jpg", stream, image)) return {};
  std::vector<uint8_t> bytes = stream.Data();
  const size_t length = 2 + 14 + profile.size();
  const std::string app2 = std::string("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xFF) +
                           std::string("ICC_PROFILE\0\x01\x01", 14) + profile;
  bytes.insert(bytes.begin() + 2, app2.begin(), app2.end());
  return bytes;
}

}  // namespace imprimo::testing
