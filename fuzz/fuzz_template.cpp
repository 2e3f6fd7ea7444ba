// Feeds arbitrary bytes as a watermark template: every section is read as a
// layer, written back and read again (nothing a layer holds may change on
// the way), and the whole template is prepared for a run with a logo folder
// holding one small picture.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "imaging/file_format.h"
#include "imaging/raster_image.h"
#include "ini/ini_document.h"
#include "platform/text.h"
#include "templates/template_file.h"
#include "templates/template_state.h"

namespace {

// A folder with "logo.png" (4 x 4) for picture and texture layers to name.
std::string LogoFolder() {
  const std::string folder = "/tmp/fuzz_template_" + std::to_string(getpid()) + "/";
  std::filesystem::create_directories(folder);
  imprimo::RasterImage logo;
  imprimo::ImageCreate(logo, 4, 4, imprimo::ifA8R8G8B8);
  imprimo::WriteImageFile(folder + "logo.png", logo);
  imprimo::ImageFree(logo);
  return folder;
}

// A text value as it reads back after being written: what a template line
// cannot hold (line breaks, blanks and control characters at the end) is
// lost on the way.
std::string LineValue(const std::string& utf8) {
  return imprimo::Utf16ToUtf8(imprimo::TemplateLineValue(imprimo::Utf8ToUtf16(utf8)));
}

bool SameLayer(const imprimo::TMarkItem& a, const imprimo::TMarkItem& b) {
  return a.Enabled == b.Enabled && LineValue(a.Desc) == b.Desc && a.Style == b.Style &&
         imprimo::TemplateLineValue(a.Text) == b.Text && LineValue(a.FontName) == b.FontName &&
         a.FontColor == b.FontColor && a.FontSize == b.FontSize && a.FontCharSet == b.FontCharSet &&
         a.FontStyle == b.FontStyle && a.FontPitch == b.FontPitch && a.Alpha == b.Alpha &&
         a.Blur == b.Blur && a.Angle == b.Angle && a.PlaceStyle == b.PlaceStyle &&
         a.Position == b.Position && a.OffsetX == b.OffsetX && a.OffsetY == b.OffsetY &&
         a.VertSpace == b.VertSpace && a.HorzSpace == b.HorzSpace && a.isShadow == b.isShadow &&
         a.ShadowColor == b.ShadowColor && a.ShadowBlur == b.ShadowBlur &&
         a.ShadowAlpha == b.ShadowAlpha && a.ShadowOffsetX == b.ShadowOffsetX &&
         a.ShadowOffsetY == b.ShadowOffsetY && a.Outline == b.Outline &&
         a.HorzMirror == b.HorzMirror && a.VertMirror == b.VertMirror && a.Noise == b.Noise &&
         a.Spray == b.Spray && a.BGColor == b.BGColor && a.PictureSize == b.PictureSize &&
         LineValue(a.Picture) == b.Picture && a.isBGTransparent == b.isBGTransparent &&
         a.Gradient == b.Gradient && a.GradientStyle == b.GradientStyle &&
         a.GradientStartColor == b.GradientStartColor && a.GradientEndColor == b.GradientEndColor &&
         LineValue(a.Texture) == b.Texture && a.TextureMode == b.TextureMode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = LogoFolder();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  imprimo::TTemplateState state;
  state.TemplateDoc = imprimo::IniDocument::FromBytes(bytes, "fuzz.ini");
  for (const std::u16string& section : state.TemplateDoc->SectionNames()) {
    imprimo::TMarkItem item, back;
    if (!imprimo::ReadMarkItem(*state.TemplateDoc, section, item)) continue;
    imprimo::IniDocument written;
    imprimo::WriteMarkItem(written, u"Layer", item);
    if (!imprimo::ReadMarkItem(written, u"Layer", back) || !SameLayer(item, back)) __builtin_trap();
  }
  imprimo::PrepareLayers(state, folder);
  const size_t sections = state.LayerSections.size();
  if (state.LogoList.size() != sections || state.TextureList.size() != sections) __builtin_trap();
  for (const auto& list : {state.LogoList, state.TextureList})
    for (const auto& bitmap : list) {
      if (!bitmap) __builtin_trap();
      if (!bitmap->Empty() && !bitmap->Bits()) __builtin_trap();
    }
  return 0;
}
