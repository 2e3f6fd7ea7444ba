#include "templates/template_state.h"

#include <exception>
#include <filesystem>
#include <map>

#include "imageops/bitmap_bridge.h"
#include "platform/text.h"
#include "render/picture_layer.h"
#include "render/text_layer.h"
#include "templates/template_file.h"

namespace imprimo {

namespace {

bool IsSequenceChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'/';
}

// Decimal integer with an optional sign; anything else (letters, slashes,
// values beyond 32 bits) gives 0.
int32_t DecimalOrZero(std::u16string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  if (i == s.size()) return 0;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9') return 0;
    v = v * 10 + (s[i] - u'0');
    if (v > int64_t{INT32_MAX} + 1) return 0;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 0;
  return static_cast<int32_t>(v);
}

// A loaded texture as the text drawing takes it: with its transparency when
// any pixel has some (the font colour shows through there), else opaque.
TPicture TexturePicture(const TBitmap32& source) {
  TPicture picture;
  TBitmap bitmap;
  CopyBitmap32ToBitmap(source, bitmap);
  bool transparent = false;
  for (int y = 0; y < source.Height() && !transparent; ++y) {
    const TColor32* row = source.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x)
      if ((row[x] >> 24) != 0xFF) {
        transparent = true;
        break;
      }
  }
  if (transparent)
    picture.SetIcon(std::move(bitmap));
  else
    picture.SetBitmap(std::move(bitmap));
  return picture;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::optional<int32_t> FindSequenceStart(std::u16string_view text) {
  // Leftmost match of "{$S" + one or more of [a-zA-Z0-9-/] + "}".
  for (size_t i = 0; i + 3 < text.size(); ++i) {
    if (text[i] != u'{' || text[i + 1] != u'$' || text[i + 2] != u'S') continue;
    size_t j = i + 3;
    while (j < text.size() && IsSequenceChar(text[j])) ++j;
    if (j > i + 3 && j < text.size() && text[j] == u'}')
      return DecimalOrZero(text.substr(i + 3, j - i - 3));
  }
  return std::nullopt;
}

void PrepareLayers(TTemplateState& state, const std::string& watermarkFolder) {
  state.WatermarkSequence = -1;
  state.LayerSections.clear();
  state.LogoList.clear();
  state.TextureList.clear();
  if (!state.TemplateDoc) return;
  state.LayerSections = state.TemplateDoc->SectionNames();
  state.LogoList.reserve(state.LayerSections.size());
  state.TextureList.reserve(state.LayerSections.size());
  const auto none = std::make_shared<const TBitmap32>();
  // One decoded bitmap per file, however many sections name it.
  std::map<std::string, std::shared_ptr<const TBitmap32>> loaded;
  auto load = [&](const std::string& name) {
    auto [it, fresh] = loaded.try_emplace(name, none);
    if (fresh) {
      const std::string path = watermarkFolder + name;
      TBitmap32 picture;
      if (FileExists(path) && LoadFileToBitmap32(path, picture))
        it->second = std::make_shared<const TBitmap32>(std::move(picture));
    }
    return it->second;
  };
  TMarkItem item;
  for (const std::u16string& section : state.LayerSections) {
    state.LogoList.push_back(none);
    state.TextureList.push_back(none);
    ReadMarkItem(*state.TemplateDoc, section, item);
    if (!item.Enabled) continue;
    if (item.Style != 0) {
      if (!item.Picture.empty()) state.LogoList.back() = load(item.Picture);
      continue;
    }
    if (!item.Texture.empty()) state.TextureList.back() = load(item.Texture);
    if (auto start = FindSequenceStart(item.Text)) state.WatermarkSequence = *start;
  }
}

std::vector<std::string> ApplyTemplate(TTemplateState& state, TBitmap& bitmap,
                                       const std::string& fileName) {
  std::vector<std::string> missing;
  if (!state.TemplateDoc) {
    state.LayerSections.clear();
    missing.push_back("the template has no enabled layer");
    return missing;
  }
  state.LayerSections = state.TemplateDoc->SectionNames();
  TMarkItem item;
  int enabled = 0;
  for (size_t i = 0; i < state.LayerSections.size(); ++i) {
    std::vector<std::string> readNotes;
    ReadMarkItem(*state.TemplateDoc, state.LayerSections[i], item, &readNotes);
    if (!item.Enabled) continue;
    ++enabled;
    const std::string layer = "layer " + Utf16ToUtf8(state.LayerSections[i]);
    if (item.Style == 0)
      for (const std::string& note : readNotes) missing.push_back(layer + ": " + note);
    // A failing painter leaves the bitmap as it left it; the next layer goes on.
    try {
      if (item.Style != 0) {
        if (i < state.LogoList.size() && state.LogoList[i] && !state.LogoList[i]->Empty()) {
          if (!DrawPictureLayer(bitmap, item, *state.LogoList[i], state.RgbStaysRgb))
            missing.push_back(layer + ": the logo could not be drawn");
        } else {
          missing.push_back(layer + ": the logo " + item.Picture + " is missing or unreadable");
        }
      } else if (!item.Text.empty()) {
        TPicture texture;
        if (!item.Texture.empty()) {
          if (i < state.TextureList.size() && state.TextureList[i] &&
              !state.TextureList[i]->Empty())
            texture = TexturePicture(*state.TextureList[i]);
          else
            missing.push_back(layer + ": the texture " + item.Texture +
                              " is missing or unreadable; the text is drawn without it");
        }
        std::vector<std::string> notes;
        if (!DrawTextLayer(bitmap, item, fileName, state.ExifSummary, state.WatermarkSequence,
                           &texture, &notes))
          missing.push_back(layer + ": the text could not be drawn");
        for (const std::string& note : notes) missing.push_back(layer + ": " + note);
      }
    } catch (const std::exception& e) {
      missing.push_back(layer + ": " + e.what());
    }
  }
  if (state.LayerSections.empty())
    missing.push_back("the template holds no layer (is the file a template?)");
  else if (enabled == 0)
    missing.push_back("the template has no enabled layer");
  return missing;
}

}  // namespace imprimo
