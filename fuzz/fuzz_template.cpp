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

// Whether b is a read back as written: every field equal once a's texts are
// cut as a template line cuts them.
bool SameLayer(imprimo::TMarkItem a, const imprimo::TMarkItem& b) {
  for (std::string* text : {&a.Desc, &a.FontName, &a.Picture, &a.Texture}) *text = LineValue(*text);
  a.Text = imprimo::TemplateLineValue(a.Text);
  return a == b;
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
  if (!state.Prepared || state.Prepared->Layers.size() != state.TemplateDoc->SectionNames().size())
    __builtin_trap();
  for (const imprimo::TPreparedLayer& layer : state.Prepared->Layers)
    for (const auto& bitmap : {layer.Logo, layer.Texture}) {
      if (!bitmap) __builtin_trap();
      if (!bitmap->Empty() && !bitmap->Bits()) __builtin_trap();
    }
  return 0;
}
