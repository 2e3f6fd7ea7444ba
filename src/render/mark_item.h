// TMarkItem: one watermark layer as a template section describes it. The
// fields are named after the template keys and stand in key-table order,
// the optional gradient, texture and fit-to-the-picture keys last.
#pragma once

#include <cstdint>
#include <string>

namespace imprimo {

struct TMarkItem {
  bool Enabled = true;
  std::string Desc = "Layer";  // at most 255 characters
  uint8_t Style = 0;           // 0 = text layer, other = picture layer
  std::u16string Text;
  std::string FontName = "Arial";
  int32_t FontColor = 0xFFFFFF;  // TColor
  int32_t FontSize = 28;         // points
  uint8_t FontCharSet = 1;
  uint8_t FontStyle = 0;  // bit 0 bold, bit 1 italic, bit 2 underline, bit 3 strike-out
  uint8_t FontPitch = 0;  // 0 default, 1 variable, 2 fixed
  int32_t Alpha = 80;     // percent
  int32_t Blur = 0;
  int32_t Angle = 0;
  uint8_t PlaceStyle = 0;
  int32_t Position = 9;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  int32_t VertSpace = 0;
  int32_t HorzSpace = 0;
  bool isShadow = false;
  int32_t ShadowColor = 0;  // TColor
  int32_t ShadowBlur = 0;
  int32_t ShadowAlpha = 80;
  int32_t ShadowOffsetX = 1;
  int32_t ShadowOffsetY = 1;
  bool Outline = false;
  bool HorzMirror = false;
  bool VertMirror = false;
  int32_t Noise = 0;
  int32_t Spray = 0;
  int32_t BGColor = 0xFFFFFF;  // TColor
  int32_t PictureSize = 0;
  std::string Picture;  // file name only, at most 255 characters
  bool isBGTransparent = false;
  // Optional gradient fill of a text layer's letters (the keys are left out
  // of templates that do not use it; off, the colour is FontColor).
  bool Gradient = false;
  uint8_t GradientStyle = 0;              // 0 left to right, 1 right to left, 2 top to bottom,
                                          // 3 bottom to top, 4 centre to the sides, 5 centre to
                                          // top and bottom; other values draw as 0
  int32_t GradientStartColor = 0xFFFFFF;  // TColor
  int32_t GradientEndColor = 0;           // TColor
  // Optional texture fill of a text layer's letters: a picture file in the
  // template's folder (file name only, at most 255 characters; empty = off).
  // It wins over the gradient when both are set.
  std::string Texture;
  uint8_t TextureMode = 0;  // 0 tiled, 1 stretched, 2 centred, 3 at the box's corner;
                            // other values draw as 0
  // Optional sizing relative to the picture drawn on (the keys are left out
  // of templates that do not use them; their defaults draw as before).
  // Values a mode does not know draw as 0.
  int32_t SizeMode = 0;       // 0 FontSize points, the logo at its own size; 1 per mille of
                              // the picture's shorter side; 2 per mille of its width
  int32_t RelativeSize = 50;  // per mille, 1..1000: the text's cell height or the
                              // logo's larger side; other values draw as SizeMode 0
  int32_t OffsetMode = 0;     // 0 OffsetX/Y and HorzSpace/VertSpace in pixels; 1 per
                              // mille of the picture's shorter side
  int32_t ShowOn = 0;         // 0 every picture; 1 landscape and square; 2 portrait

  bool operator==(const TMarkItem&) const = default;
};

}  // namespace imprimo
