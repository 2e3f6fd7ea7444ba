#include "designer/template_document.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "imageops/bitmap32.h"
#include "imageops/bitmap_bridge.h"
#include "platform/file_io.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "render/relative_layout.h"
#include "templates/template_file.h"

namespace imprimo {

namespace fs = std::filesystem;

namespace {

// Largest template the editor opens: far beyond any real one, small enough
// that opening never stalls the window.
constexpr uint64_t kMaxTemplateBytes = uint64_t{256} << 20;

// The reader's rule for section and key names: equal after upper-casing.
bool SameName(std::u16string_view a, std::u16string_view b) { return UpperCase(a) == UpperCase(b); }

std::u16string Number(size_t n) {
  std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace

bool TDesignerLayer::operator==(const TDesignerLayer& o) const {
  return Section == o.Section && ExtraKeys == o.ExtraKeys && Item == o.Item;
}

TMarkItem NormalizeMarkItem(TMarkItem item) {
  // Strings as they read back from a template line.
  item.Desc = CutToChars(Utf16ToUtf8(TemplateLineValue(Utf8ToUtf16(item.Desc))), 255);
  item.Text = TemplateLineValue(item.Text);
  item.FontName = Utf16ToUtf8(TemplateLineValue(Utf8ToUtf16(item.FontName)));
  item.Picture =
      CutToChars(FileNamePart(Utf16ToUtf8(TemplateLineValue(Utf8ToUtf16(item.Picture)))), 255);
  item.Texture =
      CutToChars(FileNamePart(Utf16ToUtf8(TemplateLineValue(Utf8ToUtf16(item.Texture)))), 255);
  if (item.Style == 0) {
    // The text drawing hands these to effect properties of these widths.
    item.Alpha &= 0xFF;
    item.Blur = std::min(item.Blur & 0xFF, 100);  // the mask blur holds it to 100
    item.Angle = static_cast<int16_t>(item.Angle);
    item.ShadowBlur = std::min(item.ShadowBlur & 0xFF, 100);
    item.ShadowAlpha &= 0xFF;
    item.ShadowOffsetX = static_cast<int8_t>(item.ShadowOffsetX);
    item.ShadowOffsetY = static_cast<int8_t>(item.ShadowOffsetY);
    item.Noise &= 0xFF;
    item.Spray &= 0xFF;
    if (item.GradientStyle > 5) item.GradientStyle = 0;
    if (item.TextureMode > 3) item.TextureMode = 0;
  } else {
    // The picture drawing holds the opacity to 0..100.
    item.Alpha = std::clamp(item.Alpha, 0, 100);
  }
  // Sizing, margin and orientation values the drawing does not know draw
  // as the plain layer.
  if (item.SizeMode < 0 || item.SizeMode > 2) item.SizeMode = 0;
  if (item.SizeMode != 0 && (item.RelativeSize < 1 || item.RelativeSize > kMaxRelativeSize))
    item.SizeMode = 0;
  if (item.OffsetMode != 0 && item.OffsetMode != 1) item.OffsetMode = 0;
  if (item.ShowOn < 0 || item.ShowOn > 2) item.ShowOn = 0;
  return item;
}

TTemplateDocument TTemplateDocument::New() {
  TTemplateDocument doc;
  doc.AddTextLayer();
  TMarkItem item = doc.layers_[0].Item;
  item.Text = u"\u00A9 {$Dyyyy} {$FL}";  // this year and the picture's name
  doc.SetItem(0, item);
  return doc;
}

TTemplateDocument TTemplateDocument::Open(const std::string& path) {
  std::error_code ec;
  if (path.empty()) throw TDocumentError("No template file was named");
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) throw TDocumentError(path + ": no such file");
  if (fs::is_directory(st)) throw TDocumentError(path + ": is a folder, not a template");
  if (!fs::is_regular_file(st)) throw TDocumentError(path + ": is not a regular file");
  std::string bytes;
  switch (ReadWholeFile(path, bytes, kMaxTemplateBytes)) {
    case EReadResult::kOk:
      break;
    case EReadResult::kMissing:
      throw TDocumentError(path + ": no such file");
    case EReadResult::kTooLarge:
      throw TDocumentError(path + ": too large to be a template");
    case EReadResult::kUnreadable:
      throw TDocumentError(path + ": the file cannot be read (permission denied or a read error)");
  }
  const IniDocument ini = IniDocument::FromBytes(bytes, path);
  TTemplateDocument doc;
  doc.path_ = path;
  const std::vector<std::u16string> names = ini.SectionNames();
  if (names.empty()) {
    // Nothing of a template in it: it may be any file, so it is never
    // written over.
    doc.savableInPlace_ = bytes.empty();
    if (!bytes.empty())
      doc.openNotes_.push_back("The file holds no template section; save it under another name");
  }
  // NUL bytes in a file without a UTF-16 mark: binary data that merely
  // holds a line in brackets somewhere. Shown, but never written over.
  const bool wide = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                          (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
  if (!names.empty() && !wide && bytes.find('\0') != std::string::npos) {
    doc.savableInPlace_ = false;
    doc.openNotes_.push_back("The file holds binary data; save the template under another name");
  }
  bool renamed = false, normalised = false;
  for (const std::u16string& name : names) {
    TDesignerLayer layer;
    TMarkItem raw;
    ReadMarkItem(ini, name, raw);
    layer.Item = NormalizeMarkItem(raw);
    if (!(TDesignerLayer{u"", layer.Item, {}} == TDesignerLayer{u"", raw, {}})) normalised = true;
    layer.Section = doc.UniqueSection(name);
    if (layer.Section != name) renamed = true;
    static const char16_t* const kKnown[] = {u"Enabled",
                                             u"Desc",
                                             u"Style",
                                             u"Text",
                                             u"FontName",
                                             u"FontColor",
                                             u"FontSize",
                                             u"FontCharSet",
                                             u"FontStyle",
                                             u"FontPitch",
                                             u"Alpha",
                                             u"Blur",
                                             u"Angle",
                                             u"PlaceStyle",
                                             u"Position",
                                             u"OffsetX",
                                             u"OffsetY",
                                             u"VertSpace",
                                             u"HorzSpace",
                                             u"isShadow",
                                             u"ShadowColor",
                                             u"ShadowBlur",
                                             u"ShadowAlpha",
                                             u"ShadowOffsetX",
                                             u"ShadowOffsetY",
                                             u"Outline",
                                             u"HorzMirror",
                                             u"VertMirror",
                                             u"Noise",
                                             u"Spray",
                                             u"BGColor",
                                             u"PictureSize",
                                             u"Picture",
                                             u"isBGTransparent",
                                             u"Gradient",
                                             u"GradientStyle",
                                             u"GradientStartColor",
                                             u"GradientEndColor",
                                             u"Texture",
                                             u"TextureMode",
                                             u"SizeMode",
                                             u"RelativeSize",
                                             u"OffsetMode",
                                             u"ShowOn"};
    for (auto& [key, value] : ini.SectionEntries(name)) {
      bool known = false;
      for (const char16_t* k : kKnown) known = known || SameName(key, k);
      if (known) continue;
      // A key written twice keeps its last value, as the reader takes it.
      auto same = std::find_if(layer.ExtraKeys.begin(), layer.ExtraKeys.end(),
                               [&](const auto& kv) { return SameName(kv.first, key); });
      if (same != layer.ExtraKeys.end())
        same->second = value;
      else
        layer.ExtraKeys.emplace_back(key, value);
    }
    doc.layers_.push_back(std::move(layer));
  }
  if (renamed)
    doc.openNotes_.push_back(
        "Sections with the same name were renamed; each showed the values of the last one");
  if (normalised)
    doc.openNotes_.push_back("Some values lay outside their range and are shown as they are drawn");
  return doc;
}

std::u16string TTemplateDocument::UniqueSection(std::u16string_view base) const {
  std::u16string b(base.empty() ? u"Layer" : base);
  auto taken = [&](std::u16string_view name) {
    return std::any_of(layers_.begin(), layers_.end(),
                       [&](const TDesignerLayer& l) { return SameName(l.Section, name); });
  };
  if (!taken(b)) return b;
  for (size_t n = 2;; ++n) {
    std::u16string candidate = b + u" (" + Number(n) + u")";
    if (!taken(candidate)) return candidate;
  }
}

namespace {

size_t InsertAt(std::optional<size_t> after, size_t count) {
  if (!after) return count;
  if (*after >= count) throw std::out_of_range("no layer at that position");
  return *after + 1;
}

std::u16string FreshLayerName(const std::vector<TDesignerLayer>& layers) {
  for (size_t n = layers.size() + 1;; ++n) {
    std::u16string name = u"Layer" + Number(n);
    if (std::none_of(layers.begin(), layers.end(),
                     [&](const TDesignerLayer& l) { return SameName(l.Section, name); }))
      return name;
  }
}

}  // namespace

size_t TTemplateDocument::AddTextLayer(std::optional<size_t> after) {
  const size_t at = InsertAt(after, layers_.size());
  TDesignerLayer layer;
  layer.Section = FreshLayerName(layers_);
  layer.Item.Desc = Utf16ToUtf8(layer.Section);
  layer.Item.Text = u"Text";
  layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(at), std::move(layer));
  return at;
}

size_t TTemplateDocument::AddPictureLayer(std::optional<size_t> after,
                                          const std::string& logoFileName) {
  const size_t at = InsertAt(after, layers_.size());
  TDesignerLayer layer;
  layer.Section = FreshLayerName(layers_);
  layer.Item.Desc = Utf16ToUtf8(layer.Section);
  layer.Item.Style = 1;
  layer.Item.Alpha = 100;
  layer.Item.Picture = logoFileName;
  layer.Item = NormalizeMarkItem(layer.Item);
  layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(at), std::move(layer));
  return at;
}

size_t TTemplateDocument::Duplicate(size_t i) {
  TDesignerLayer copy = layers_.at(i);
  copy.Section = UniqueSection(copy.Section);
  layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(i + 1), std::move(copy));
  return i + 1;
}

void TTemplateDocument::Remove(size_t i) {
  layers_.at(i);
  layers_.erase(layers_.begin() + static_cast<std::ptrdiff_t>(i));
}

size_t TTemplateDocument::Move(size_t i, int delta) {
  layers_.at(i);
  const int64_t to = std::clamp<int64_t>(static_cast<int64_t>(i) + delta, 0,
                                         static_cast<int64_t>(layers_.size()) - 1);
  TDesignerLayer moved = std::move(layers_[i]);
  layers_.erase(layers_.begin() + static_cast<std::ptrdiff_t>(i));
  layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(to), std::move(moved));
  return static_cast<size_t>(to);
}

void TTemplateDocument::SetEnabled(size_t i, bool enabled) { layers_.at(i).Item.Enabled = enabled; }

void TTemplateDocument::Rename(size_t i, const std::string& desc) {
  TMarkItem item = layers_.at(i).Item;
  item.Desc = desc;
  layers_[i].Item = NormalizeMarkItem(std::move(item));
}

void TTemplateDocument::SetItem(size_t i, const TMarkItem& item) {
  layers_.at(i).Item = NormalizeMarkItem(item);
}

IniDocument TTemplateDocument::ToIniDocument() const {
  IniDocument ini = IniDocument::FromBytes("", path_);
  for (const TDesignerLayer& layer : layers_) {
    ini.AppendSection(layer.Section);
    WriteMarkItem(ini, layer.Section, layer.Item);
    for (const auto& [key, value] : layer.ExtraKeys)
      ini.WriteString(layer.Section, key, TemplateLineValue(value));
  }
  return ini;
}

std::string TTemplateDocument::Serialize() const { return ToIniDocument().Serialize(); }

std::string TTemplateDocument::Folder() const {
  return path_.empty() ? DefaultTemplateFolder() : imprimo::Folder(path_);
}

std::string TTemplateDocument::DisplayName() const {
  return path_.empty() ? std::string("Untitled") : FileNamePart(path_);
}

void TTemplateDocument::SaveAs(const std::string& path) {
  if (path.empty()) throw TDocumentError("No file name was given");
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw TDocumentError(path + ": is a folder");
  const std::string bytes = Serialize();
  // A link to a template is followed: the file it names is replaced.
  std::string target = path;
  if (fs::is_symlink(path, ec)) {
    const fs::path resolved = fs::weakly_canonical(path, ec);
    if (!ec) target = resolved.string();
  }
  try {
    WriteFileReplacing(target, bytes);
  } catch (const std::exception& e) {
    throw TDocumentError(e.what());
  }
  path_ = path;
  savableInPlace_ = true;
}

void TTemplateDocument::Save() {
  if (path_.empty()) throw TDocumentError("The template has no file yet: use Save As");
  if (!savableInPlace_)
    throw TDocumentError(path_ +
                         ": was not read as a template and is not written over: use Save As");
  SaveAs(path_);
}

// ---------------------------------------------------------------------------

TUndoHistory::TUndoHistory(TTemplateDocument initial) { Reset(std::move(initial)); }

void TUndoHistory::Reset(TTemplateDocument doc) {
  states_.clear();
  states_.push_back({std::move(doc), nextId_++});
  pos_ = 0;
  cleanId_ = states_[0].Id;
  lastMergeKey_.clear();
}

void TUndoHistory::Push(TTemplateDocument doc, const std::string& mergeKey) {
  if (doc == states_[pos_].Doc) return;
  states_.resize(pos_ + 1);
  if (!mergeKey.empty() && mergeKey == lastMergeKey_ && pos_ > 0 && cleanId_ != states_[pos_].Id) {
    // Same gesture: the step's end state is replaced.
    states_[pos_].Doc = std::move(doc);
    states_[pos_].Id = nextId_++;
  } else {
    states_.push_back({std::move(doc), nextId_++});
    ++pos_;
    if (states_.size() > kMaxUndoSteps + 1) {
      states_.erase(states_.begin());
      --pos_;
    }
  }
  lastMergeKey_ = mergeKey;
}

bool TUndoHistory::Undo() {
  if (!CanUndo()) return false;
  --pos_;
  lastMergeKey_.clear();
  return true;
}

bool TUndoHistory::Redo() {
  if (!CanRedo()) return false;
  ++pos_;
  lastMergeKey_.clear();
  return true;
}

void TUndoHistory::MarkClean() {
  cleanId_ = states_[pos_].Id;
  lastMergeKey_.clear();
  // The file the document now lives in is the same in every state.
  const TTemplateDocument& now = states_[pos_].Doc;
  for (State& s : states_) s.Doc.AdoptFile(now);
}

void TUndoHistory::MarkSaved(const TTemplateDocument& doc) {
  states_[pos_].Doc.AdoptFile(doc);
  MarkClean();
}

bool TUndoHistory::IsModified() const { return cleanId_ != states_[pos_].Id; }

// ---------------------------------------------------------------------------

TLogoCopyResult CopyLogo(const std::string& sourcePath, const std::string& templateFolder,
                         bool replaceConfirmed) {
  TLogoCopyResult r;
  r.FileName = FileNamePart(sourcePath);
  if (r.FileName.empty()) {
    r.Reason = "No picture file was named";
    return r;
  }
  std::string bytes;
  switch (ReadWholeFile(sourcePath, bytes)) {
    case EReadResult::kOk:
      break;
    case EReadResult::kMissing:
      r.Reason = sourcePath + ": no such file";
      return r;
    case EReadResult::kTooLarge:
      r.Reason = sourcePath + ": too large";
      return r;
    case EReadResult::kUnreadable:
      r.Reason = sourcePath + ": the file cannot be read";
      return r;
  }
  TBitmap32 probe;
  if (!LoadFileToBitmap32(sourcePath, probe) || probe.Empty()) {
    r.Reason = sourcePath + ": not a picture this program can load";
    return r;
  }
  std::string folder = templateFolder.empty() ? std::string("./") : templateFolder;
  if (folder.back() != '/') folder += '/';
  const std::string target = folder + r.FileName;
  std::error_code ec;
  if (fs::exists(target, ec)) {
    if (fs::equivalent(sourcePath, target, ec)) {
      r.Outcome = ELogoCopy::kIdentical;
      return r;
    }
    std::string existing;
    const EReadResult er = ReadWholeFile(target, existing);
    if (er == EReadResult::kOk && existing == bytes) {
      r.Outcome = ELogoCopy::kIdentical;
      return r;
    }
    if (fs::is_directory(target, ec)) {
      r.Reason = target + ": a folder of that name is in the way";
      return r;
    }
    if (!replaceConfirmed) {
      r.Outcome = ELogoCopy::kNeedsConfirmation;
      r.Reason = "A different picture named " + r.FileName + " is already in " + folder;
      return r;
    }
  }
  try {
    WriteFileReplacing(target, bytes);
  } catch (const std::exception& e) {
    r.Reason = e.what();
    return r;
  }
  r.Outcome = ELogoCopy::kCopied;
  return r;
}

std::string DefaultTemplateFolder() {
  std::string folder = ResolveDataFolder(ExecutableFolder()) + "Watermarks/";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder;
}

}  // namespace imprimo
