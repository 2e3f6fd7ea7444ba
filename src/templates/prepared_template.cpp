#include "templates/prepared_template.h"

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

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// Loads the pictures the layers draw, one decoded bitmap per file however
// many layers name it, and the texture fills made from them.
class TPictureLoader {
 public:
  explicit TPictureLoader(const std::optional<std::string>& folder) : folder_(folder) {}

  const std::shared_ptr<const TBitmap32>& None() const { return none_; }
  const std::shared_ptr<const TPicture>& NoFill() const { return noFill_; }

  std::shared_ptr<const TBitmap32> Load(const std::string& name) {
    auto [it, fresh] = loaded_.try_emplace(name, none_);
    if (fresh && folder_) {
      const std::string path = *folder_ + name;
      TBitmap32 picture;
      if (FileExists(path) && LoadFileToBitmap32(path, picture))
        it->second = std::make_shared<const TBitmap32>(std::move(picture));
    }
    return it->second;
  }

  std::shared_ptr<const TPicture> FillOf(const std::shared_ptr<const TBitmap32>& texture) {
    if (texture->Empty()) return noFill_;
    auto [it, fresh] = fills_.try_emplace(texture.get(), noFill_);
    if (fresh) it->second = TextureFillOf(*texture);
    return it->second;
  }

 private:
  std::optional<std::string> folder_;
  std::shared_ptr<const TBitmap32> none_ = std::make_shared<const TBitmap32>();
  std::shared_ptr<const TPicture> noFill_ = std::make_shared<const TPicture>();
  std::map<std::string, std::shared_ptr<const TBitmap32>> loaded_;
  std::map<const TBitmap32*, std::shared_ptr<const TPicture>> fills_;
};

// Gives the layer its pictures and, for a text layer, its say in the
// sequence start.
void ReadyLayer(TPreparedLayer& layer, TPictureLoader& loader, int32_t& startSequence) {
  layer.Logo = loader.None();
  layer.Texture = loader.None();
  layer.TextureFill = loader.NoFill();
  const TMarkItem& item = layer.Item;
  if (!item.Enabled) return;
  if (item.Style != 0) {
    if (!item.Picture.empty()) layer.Logo = loader.Load(item.Picture);
    return;
  }
  if (!item.Texture.empty()) {
    layer.Texture = loader.Load(item.Texture);
    layer.TextureFill = loader.FillOf(layer.Texture);
  }
  if (auto start = FindSequenceStart(item.Text)) startSequence = *start;
}

// Paints one enabled layer, adding what it could not draw to missing under
// the layer's name.
void PaintLayer(const TPreparedLayer& layer, TBitmap& bitmap, const TPictureMarks& marks,
                std::vector<std::string>& missing) {
  const TMarkItem& item = layer.Item;
  const std::string name = "layer " + Utf16ToUtf8(layer.Section);
  if (item.Style == 0)
    for (const std::string& note : layer.ReadNotes) missing.push_back(name + ": " + note);
  // A failing painter leaves the bitmap as it left it; the next layer goes on.
  try {
    if (item.Style != 0) {
      if (layer.Logo->Empty())
        missing.push_back(name + ": the logo " + item.Picture + " is missing or unreadable");
      else if (!DrawPictureLayer(bitmap, item, *layer.Logo, marks.RgbStaysRgb))
        missing.push_back(name + ": the logo could not be drawn");
      return;
    }
    if (item.Text.empty()) return;
    if (!item.Texture.empty() && layer.Texture->Empty())
      missing.push_back(name + ": the texture " + item.Texture +
                        " is missing or unreadable; the text is drawn without it");
    std::vector<std::string> notes;
    if (!DrawTextLayer(bitmap, item, marks.FileName, marks.Exif, marks.Sequence,
                       layer.TextureFill.get(), &notes))
      missing.push_back(name + ": the text could not be drawn");
    for (const std::string& note : notes) missing.push_back(name + ": " + note);
  } catch (const std::exception& e) {
    missing.push_back(name + ": " + e.what());
  }
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

std::shared_ptr<const TPicture> TextureFillOf(const TBitmap32& source) {
  auto picture = std::make_shared<TPicture>();
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
    picture->SetIcon(std::move(bitmap));
  else
    picture->SetBitmap(std::move(bitmap));
  return picture;
}

TPreparedTemplate PrepareTemplate(const IniDocument& document,
                                  const std::optional<std::string>& pictureFolder) {
  TPreparedTemplate prepared;
  prepared.HasDocument = true;
  TPictureLoader loader(pictureFolder);
  const std::vector<std::u16string> sections = document.SectionNames();
  prepared.Layers.reserve(sections.size());
  // One record is read into for every section, as a reader interrupted part
  // way keeps the values it had.
  TMarkItem item;
  for (const std::u16string& section : sections) {
    TPreparedLayer& layer = prepared.Layers.emplace_back();
    layer.Section = section;
    ReadMarkItem(document, section, item, &layer.ReadNotes);
    layer.Item = item;
    ReadyLayer(layer, loader, prepared.StartSequence);
  }
  return prepared;
}

TPreparedTemplate PrepareTemplate(const std::vector<std::pair<std::u16string, TMarkItem>>& layers,
                                  const std::optional<std::string>& pictureFolder) {
  TPreparedTemplate prepared;
  prepared.HasDocument = true;
  TPictureLoader loader(pictureFolder);
  prepared.Layers.reserve(layers.size());
  for (const auto& [section, item] : layers) {
    TPreparedLayer& layer = prepared.Layers.emplace_back();
    layer.Section = section;
    layer.Item = StoredMarkItem(item, &layer.ReadNotes);
    ReadyLayer(layer, loader, prepared.StartSequence);
  }
  return prepared;
}

std::vector<std::string> PaintTemplate(const TPreparedTemplate& prepared, TBitmap& bitmap,
                                       const TPictureMarks& marks) {
  std::vector<std::string> missing;
  if (!prepared.HasDocument) {
    missing.push_back("the template has no enabled layer");
    return missing;
  }
  int enabled = 0;
  for (const TPreparedLayer& layer : prepared.Layers) {
    if (!layer.Item.Enabled) continue;
    ++enabled;
    PaintLayer(layer, bitmap, marks, missing);
  }
  if (prepared.Layers.empty())
    missing.push_back("the template holds no layer (is the file a template?)");
  else if (enabled == 0)
    missing.push_back("the template has no enabled layer");
  return missing;
}

}  // namespace imprimo
