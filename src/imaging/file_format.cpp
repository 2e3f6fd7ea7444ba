// The format base class, the registry of formats, loading and saving through
// it, and the option table.
#include "imaging/file_format.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>

#include "imaging/formats/format_factories.h"
#include "imaging/pixel_convert.h"
#include "platform/file_io.h"

namespace imprimo {

namespace {

std::string Printf(const char* fmt, const std::string& a, const std::string& b) {
  std::string out;
  out.resize(std::string(fmt).size() + a.size() + b.size() + 64);
  int n = std::snprintf(out.data(), out.size(), fmt, a.c_str(), b.c_str());
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string PointerText(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

// A template whose error replaces an inner one gets " Exception Message: " and
// the inner text appended; the inner error's kind carries over.
[[noreturn]] void RaiseWrapped(const std::string& message, const std::exception& inner) {
  EImagingErrorKind kind = EImagingErrorKind::Other;
  if (const auto* e = dynamic_cast<const EImagingError*>(&inner))
    kind = e->Kind();
  else if (dynamic_cast<const ETruncatedData*>(&inner))
    kind = EImagingErrorKind::Truncated;
  else if (dynamic_cast<const std::bad_alloc*>(&inner))
    kind = EImagingErrorKind::TooLarge;
  else if (const auto* f = dynamic_cast<const EFileError*>(&inner); f && IsNoSpaceError(f->Error()))
    kind = EImagingErrorKind::NoSpace;
  throw EImagingError(message + " Exception Message: " + inner.what(), kind);
}

char LowerAscii(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

std::string_view NamePart(std::string_view path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// ---- Options ----

struct TOptionTable {
  std::vector<int32_t*> slots = std::vector<int32_t*>(256, nullptr);
  std::vector<std::vector<int32_t>> stack;
};

TOptionTable& Options() {
  static TOptionTable table;
  return table;
}

bool BindOption(int32_t id, int32_t* variable) {
  TOptionTable& t = Options();
  if (id < 0 || variable == nullptr) return false;
  if (static_cast<size_t>(id) >= t.slots.size())
    t.slots.resize(static_cast<size_t>(id) + 256, nullptr);
  if (t.slots[id] != nullptr) return false;
  t.slots[id] = variable;
  return true;
}

// ---- Registry ----

using TFormatFactory = std::unique_ptr<TImageFileFormat> (*)();

struct TRegistry {
  std::vector<std::unique_ptr<TImageFileFormat>> owned;
  std::vector<TImageFileFormat*> list;
  std::vector<TFormatFactory> factories;  // parallel to list
  TRegistry() {
#define IMAGING_FORMAT(Name) Add(Make##Name##FileFormat(), &Make##Name##FileFormat);
#include "imaging/formats/format_list.inc"
#undef IMAGING_FORMAT
    TGlobalImagingOptions& g = GlobalImagingOptions();
    BindOption(ImagingColorReductionMask, &g.ColorReductionMask);
    BindOption(ImagingLoadOverrideFormat, &g.LoadOverrideFormat);
    BindOption(ImagingSaveOverrideFormat, &g.SaveOverrideFormat);
    BindOption(ImagingMipMapFilter, &g.MipMapFilter);
  }
  void Add(std::unique_ptr<TImageFileFormat> f, TFormatFactory factory) {
    list.push_back(f.get());
    owned.push_back(std::move(f));
    factories.push_back(factory);
  }
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

// ---- TImageFileFormat ----

TImageFileFormat::TImageFileFormat() = default;

bool TImageFileFormat::DecodeImages(TImagingStream&, TDynImageDataArray&, bool) {
  throw EImagingError(Printf("Image Format \"%s\" does not support loading images.", name_, ""));
}

bool TImageFileFormat::EncodeImages(TImagingStream&, const std::vector<const RasterImage*>&) {
  throw EImagingError(Printf("Image Format \"%s\" does not support saving images.", name_, ""));
}

void TImageFileFormat::ConvertForSaving(RasterImage&, const TImageFormatInfo&) {}

bool TImageFileFormat::AcceptsPixelFormat(const RasterImage& image) const {
  return SupportedPixelFormats().count(image.Format) > 0;
}

bool TImageFileFormat::ProbeContent(TImagingStream&) { return false; }

void TImageFileFormat::AddMasks(std::string_view masks) {
  size_t start = 0;
  while (start <= masks.size()) {
    size_t comma = masks.find(',', start);
    if (comma == std::string_view::npos) comma = masks.size();
    std::string_view m = masks.substr(start, comma - start);
    while (!m.empty() && std::isspace(static_cast<unsigned char>(m.front()))) m.remove_prefix(1);
    while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back()))) m.remove_suffix(1);
    if (!m.empty()) {
      masks_.emplace_back(m);
      size_t dot = m.find_last_of('.');
      if (dot != std::string_view::npos) {
        std::string_view ext = m.substr(dot + 1);
        if (!ext.empty() && ext != "*") extensions_.emplace_back(ext);
      }
    }
    start = comma + 1;
  }
}

void TImageFileFormat::RegisterOption(int32_t id, int32_t* variable) {
  ownOptions_.emplace_back(id, variable);
  BindOption(id, variable);
}

std::vector<uint8_t> TImageFileFormat::PeekHeader(TImagingStream& stream, size_t count) {
  std::vector<uint8_t> header(count);
  size_t got = stream.Read(header.data(), count);
  stream.Seek(-static_cast<int64_t>(got), TSeekOrigin::Current);
  header.resize(got);
  return header;
}

bool TImageFileFormat::TestFormat(TImagingStream& stream) {
  int64_t pos = 0;
  try {
    pos = stream.Position();
    bool ok = ProbeContent(stream);
    stream.Seek(pos, TSeekOrigin::Begin);
    return ok;
  } catch (const std::exception&) {
    try {
      stream.Seek(pos, TSeekOrigin::Begin);
    } catch (...) {
    }
    return false;
  }
}

bool TImageFileFormat::MatchesBySizeOnly(TImagingStream& stream) {
  int64_t pos = 0;
  try {
    pos = stream.Position();
    bool sizeOnly = ProbeIsSizeOnly(stream);
    stream.Seek(pos, TSeekOrigin::Begin);
    return sizeOnly;
  } catch (const std::exception&) {
    try {
      stream.Seek(pos, TSeekOrigin::Begin);
    } catch (...) {
    }
    return false;
  }
}

bool TImageFileFormat::TestFileName(std::string_view fileName) const {
  std::string_view name = NamePart(fileName);
  for (const std::string& m : masks_)
    if (MatchesMask(name, m)) return true;
  return false;
}

bool TImageFileFormat::LoadFromStream(TImagingStream& stream, TDynImageDataArray& images,
                                      bool onlyFirst, const std::string& fileName) {
  if (!canLoad_) return false;
  const std::string ext = extensions_.empty() ? std::string() : extensions_[0];
  int64_t start = 0;
  try {
    start = stream.Position();
    if (!TestFormat(stream)) {
      if (fileName.empty())
        throw EImagingError(Printf("Stream %s does not contain valid image in \"%s\" format.",
                                   PointerText(&stream), name_));
      throw EImagingError(
          Printf("File \"%s\" is not valid image in \"%s\" format.", fileName, name_));
    }
    images.clear();
    bool ok = DecodeImages(stream, images, onlyFirst);
    ok = ok && !images.empty() &&
         std::all_of(images.begin(), images.end(),
                     [](const RasterImage& i) { return ImageIsValid(i); });
    if (ok && GlobalImagingOptions().LoadOverrideFormat != 0)
      for (RasterImage& i : images) ImageConvert(i, GlobalImagingOptions().LoadOverrideFormat);
    if (!ok) images.clear();
    return ok;
  } catch (const std::exception& e) {
    images.clear();
    if (fileName.empty()) {
      try {
        stream.Seek(start, TSeekOrigin::Begin);
      } catch (...) {
      }
      RaiseWrapped(Printf("Error while loading images from stream %s (file format: %s).",
                          PointerText(&stream), ext),
                   e);
    }
    RaiseWrapped(
        Printf("Error while loading images from file \"%s\" (file format: %s).", fileName, ext), e);
  }
}

bool TImageFileFormat::MakeCompatible(const RasterImage& image, RasterImage& converted) {
  const int32_t override = GlobalImagingOptions().SaveOverrideFormat;
  if (override == 0 && AcceptsPixelFormat(image)) return false;
  ImageClone(image, converted);
  if (override != 0) ImageConvert(converted, override);
  if (!AcceptsPixelFormat(converted)) {
    ConvertForSaving(converted, *GetImageFormatInfo(converted.Format));
    if (!AcceptsPixelFormat(converted))
      throw EImagingError(std::string("Pixel format ") +
                          GetImageFormatInfo(converted.Format)->Name +
                          " cannot be saved in this format");
  }
  return true;
}

bool TImageFileFormat::StoresIccProfile(std::string_view, const TImageFormatInfo&) const {
  return false;
}

bool TImageFileFormat::SaveToStream(TImagingStream& stream,
                                    const std::vector<const RasterImage*>& images, bool onlyFirst,
                                    const std::string& fileName) {
  if (!canSave_ || images.empty()) return false;
  for (const RasterImage* i : images)
    if (!i || !ImageIsValid(*i)) return false;
  const std::string ext = extensions_.empty() ? std::string() : extensions_[0];
  try {
    ValidateOptions();
    firstIndex_ = 0;
    lastIndex_ = onlyFirst || !isMultiImage_ ? 0 : static_cast<int>(images.size()) - 1;
    std::vector<RasterImage> copies(lastIndex_ + 1);
    std::vector<const RasterImage*> ready;
    for (int i = firstIndex_; i <= lastIndex_; ++i)
      ready.push_back(MakeCompatible(*images[i], copies[i]) ? &copies[i] : images[i]);
    return EncodeImages(stream, ready);
  } catch (const std::exception& e) {
    if (fileName.empty())
      RaiseWrapped(Printf("Error while saving images to stream %s (file format: %s).",
                          PointerText(&stream), ext),
                   e);
    RaiseWrapped(
        Printf("Error while saving images to file \"%s\" (file format: %s).", fileName, ext), e);
  }
}

// ---- Registry lookups ----

const std::vector<TImageFileFormat*>& ImageFileFormats() { return Registry().list; }

bool MatchesMask(std::string_view name, std::string_view mask) {
  // Iterative wildcard match with backtracking to the last "*".
  size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

TImageFileFormat* FormatByExtension(std::string_view extension) {
  for (TImageFileFormat* f : Registry().list)
    for (const std::string& e : f->Extensions())
      if (SameAscii(e, extension)) return f;
  return nullptr;
}

TImageFileFormat* FormatByFileName(std::string_view fileName) {
  for (TImageFileFormat* f : Registry().list)
    if (f->TestFileName(fileName)) return f;
  return nullptr;
}

namespace {

std::string DetectIn(TImagingStream& stream, std::string_view fileName) {
  const auto& list = Registry().list;
  if (!fileName.empty())
    for (TImageFileFormat* f : list)
      if (f->TestFileName(fileName) && f->TestFormat(stream))
        return f->Extensions().empty() ? std::string() : f->Extensions()[0];
  // The name's own formats did not recognise the content; a size-only match
  // of another format is then no evidence at all.
  const bool namedForOther = !fileName.empty() && FormatByFileName(fileName) != nullptr;
  for (TImageFileFormat* f : list) {
    if (!f->TestFormat(stream)) continue;
    if (namedForOther && !f->TestFileName(fileName) && f->MatchesBySizeOnly(stream)) continue;
    return f->Extensions().empty() ? std::string() : f->Extensions()[0];
  }
  return {};
}

}  // namespace

std::string DetectFileFormat(const std::string& fileName) {
  try {
    if (std::filesystem::is_directory(fileName)) return {};
    TFileStream stream(fileName, TFileStream::TMode::Read);
    return DetectIn(stream, fileName);
  } catch (const std::exception&) {
    return {};
  }
}

std::string DetectStreamFormat(TImagingStream& stream) {
  try {
    return DetectIn(stream, {});
  } catch (const std::exception&) {
    return {};
  }
}

bool ReadMultiImageFile(const std::string& fileName, TDynImageDataArray& images) {
  TImageFileFormat* f = FormatByExtension(DetectFileFormat(fileName));
  if (!f) return false;
  images.clear();
  if (!f->CanLoad()) return false;
  std::unique_ptr<TFileStream> stream;
  try {
    stream = std::make_unique<TFileStream>(fileName, TFileStream::TMode::Read);
  } catch (const std::exception& e) {
    RaiseWrapped(Printf("Error while loading images from file \"%s\" (file format: %s).", fileName,
                        f->Extensions()[0]),
                 e);
  }
  return f->LoadFromStream(*stream, images, false, fileName);
}

bool ReadImageFile(const std::string& fileName, RasterImage& image) {
  TImageFileFormat* f = FormatByExtension(DetectFileFormat(fileName));
  if (!f) return false;
  ImageFree(image);
  if (!f->CanLoad()) return false;
  std::unique_ptr<TFileStream> stream;
  try {
    stream = std::make_unique<TFileStream>(fileName, TFileStream::TMode::Read);
  } catch (const std::exception& e) {
    RaiseWrapped(Printf("Error while loading images from file \"%s\" (file format: %s).", fileName,
                        f->Extensions()[0]),
                 e);
  }
  TDynImageDataArray set;
  if (!f->LoadFromStream(*stream, set, true, fileName)) return false;
  image = std::move(set[0]);
  return true;
}

bool ReadImageBytes(const std::string& fileName, std::span<const uint8_t> bytes, RasterImage& image,
                    std::string* format) {
  TByteViewStream stream(bytes);
  std::string found;
  try {
    found = DetectIn(stream, fileName);
  } catch (const std::exception&) {
    found.clear();
  }
  TImageFileFormat* f = FormatByExtension(found);
  if (!f) return false;
  ImageFree(image);
  if (!f->CanLoad()) return false;
  stream.Seek(0, TSeekOrigin::Begin);
  TDynImageDataArray set;
  if (!f->LoadFromStream(stream, set, true, fileName)) return false;
  image = std::move(set[0]);
  if (format) *format = found;
  return true;
}

bool ReadImageStream(TImagingStream& stream, RasterImage& image) {
  TImageFileFormat* f = FormatByExtension(DetectStreamFormat(stream));
  if (!f) return false;
  ImageFree(image);
  TDynImageDataArray set;
  if (!f->LoadFromStream(stream, set, true)) return false;
  image = std::move(set[0]);
  return true;
}

namespace {

// Saves into staged's temporary file, or, without one, into a temporary file
// that then replaces fileName.
bool WriteSetToFile(TImageFileFormat* f, const std::string& fileName,
                    const std::vector<const RasterImage*>& images, bool onlyFirst,
                    TReplacingFile* staged = nullptr) {
  const std::string ext = f->Extensions().empty() ? std::string() : f->Extensions()[0];
  if (!f->CanSave() || images.empty()) return false;
  for (const RasterImage* i : images)
    if (!ImageIsValid(*i)) return false;
  try {
    // A failed save never leaves a half-written file behind.
    std::optional<TReplacingFile> own;
    TReplacingFile& target = staged ? *staged : own.emplace(fileName);
    {
      TFileStream stream(target.TempPath(), TFileStream::TMode::Create);
      if (!f->SaveToStream(stream, images, onlyFirst, fileName)) return false;
      stream.Close();
    }
    if (!staged) target.Commit();
  } catch (const EImagingError& e) {
    if (std::string_view(e.what()).starts_with("Error while saving images")) throw;
    RaiseWrapped(
        Printf("Error while saving images to file \"%s\" (file format: %s).", fileName, ext), e);
  } catch (const std::exception& e) {
    RaiseWrapped(
        Printf("Error while saving images to file \"%s\" (file format: %s).", fileName, ext), e);
  }
  return true;
}

}  // namespace

bool WriteImageFile(const std::string& fileName, const RasterImage& image) {
  TImageFileFormat* f = FormatByFileName(fileName);
  if (!f) return false;
  return WriteSetToFile(f, fileName, {&image}, true);
}

// A private instance of a registered format for one call. Its own option
// variables are not in the table (the shared instance holds those slots).
class TFormatInstance {
 public:
  static std::unique_ptr<TImageFileFormat> Make(const TImageFileFormat* shared,
                                                const TSaveOptions& options) {
    const TRegistry& r = Registry();
    for (size_t i = 0; i < r.list.size(); ++i) {
      if (r.list[i] != shared) continue;
      std::unique_ptr<TImageFileFormat> f = r.factories[i]();
      for (auto& [id, variable] : f->ownOptions_) {
        const int32_t given = options.Get(id);
        *variable = given != kInvalidOption ? given : GetImagingOption(id);
      }
      f->saveIcc_ = options.IccProfile();
      f->saveMetadata_ = options.Metadata();
      return f;
    }
    return nullptr;
  }
};

bool WriteImageFile(const std::string& fileName, const RasterImage& image,
                    const TSaveOptions& options) {
  TImageFileFormat* shared = FormatByFileName(fileName);
  if (!shared) return false;
  std::unique_ptr<TImageFileFormat> f = TFormatInstance::Make(shared, options);
  if (!f) return false;
  return WriteSetToFile(f.get(), fileName, {&image}, true);
}

bool WriteImageFileStaged(const std::string& fileName, TReplacingFile& staged,
                          const RasterImage& image, const TSaveOptions& options) {
  TImageFileFormat* shared = FormatByFileName(fileName);
  if (!shared) return false;
  std::unique_ptr<TImageFileFormat> f = TFormatInstance::Make(shared, options);
  if (!f) return false;
  return WriteSetToFile(f.get(), fileName, {&image}, true, &staged);
}

TSaveOptions& TSaveOptions::Set(int32_t id, int32_t value) {
  for (auto& [key, v] : values_)
    if (key == id) {
      v = value;
      return *this;
    }
  values_.emplace_back(id, value);
  return *this;
}

TSaveOptions& TSaveOptions::SetIccProfile(std::string profile) {
  icc_ = std::move(profile);
  return *this;
}

TSaveOptions& TSaveOptions::SetMetadata(TEmbeddedMetadata metadata) {
  metadata_ = std::move(metadata);
  return *this;
}

int32_t TSaveOptions::Get(int32_t id) const {
  for (const auto& [key, v] : values_)
    if (key == id) return v;
  return kInvalidOption;
}

bool WriteMultiImageFile(const std::string& fileName, const TDynImageDataArray& images) {
  TImageFileFormat* f = FormatByFileName(fileName);
  if (!f || images.empty()) return false;
  std::vector<const RasterImage*> refs;
  for (const RasterImage& i : images) refs.push_back(&i);
  if (f->IsMultiImage() || refs.size() == 1) return WriteSetToFile(f, fileName, refs, false);
  // One file per image: photo.png -> photo000.png, photo001.png, ...
  std::filesystem::path p(fileName);
  std::string stem = (p.parent_path() / p.stem()).string();
  std::string extension = p.extension().string();
  for (size_t i = 0; i < refs.size(); ++i) {
    char index[32];
    std::snprintf(index, sizeof index, "%03zu", i);
    if (!WriteSetToFile(f, stem + index + extension, {refs[i]}, true)) return false;
  }
  return true;
}

bool WriteImageStream(std::string_view extension, TImagingStream& stream,
                      const RasterImage& image) {
  TImageFileFormat* f = FormatByExtension(extension);
  if (!f) return false;
  return f->SaveToStream(stream, {&image}, true);
}

bool WriteImageStream(std::string_view extension, TImagingStream& stream, const RasterImage& image,
                      const TSaveOptions& options) {
  TImageFileFormat* shared = FormatByExtension(extension);
  if (!shared) return false;
  std::unique_ptr<TImageFileFormat> f = TFormatInstance::Make(shared, options);
  return f && f->SaveToStream(stream, {&image}, true);
}

bool EncodeImageFile(const std::string& fileName, const RasterImage& image,
                     const TSaveOptions& options, std::vector<uint8_t>& bytes) {
  bytes.clear();
  TImageFileFormat* shared = FormatByFileName(fileName);
  if (!shared) return false;
  std::unique_ptr<TImageFileFormat> f = TFormatInstance::Make(shared, options);
  if (!f || !f->CanSave() || !ImageIsValid(image)) return false;
  const std::string ext = f->Extensions().empty() ? std::string() : f->Extensions()[0];
  TMemoryStream stream;
  try {
    if (!f->SaveToStream(stream, {&image}, true, fileName)) return false;
  } catch (const EImagingError& e) {
    if (std::string_view(e.what()).starts_with("Error while saving images")) throw;
    RaiseWrapped(
        Printf("Error while saving images to file \"%s\" (file format: %s).", fileName, ext), e);
  } catch (const std::exception& e) {
    RaiseWrapped(
        Printf("Error while saving images to file \"%s\" (file format: %s).", fileName, ext), e);
  }
  bytes = std::move(stream.Data());
  return true;
}

// ---- Options ----

bool RegisterImagingOption(int32_t id, int32_t* variable) {
  Registry();
  return BindOption(id, variable);
}

bool SetImagingOption(int32_t id, int32_t value) {
  Registry();
  TOptionTable& t = Options();
  if (id < 0 || static_cast<size_t>(id) >= t.slots.size() || t.slots[id] == nullptr) return false;
  switch (id) {
    case ImagingColorReductionMask:
      value = std::clamp(value, 0, 255);
      break;
    case ImagingLoadOverrideFormat:
    case ImagingSaveOverrideFormat:
      if (value != 0 && !GetImageFormatInfo(value)) value = 0;
      break;
    case ImagingMipMapFilter:
      value = std::clamp(value, 0, 9);
      break;
    default:
      break;
  }
  *t.slots[id] = value;
  return true;
}

int32_t GetImagingOption(int32_t id) {
  Registry();
  TOptionTable& t = Options();
  if (id < 0 || static_cast<size_t>(id) >= t.slots.size() || t.slots[id] == nullptr)
    return kInvalidOption;
  return *t.slots[id];
}

bool PushOptions() {
  Registry();
  TOptionTable& t = Options();
  if (t.stack.size() >= 16) return false;
  std::vector<int32_t> values(t.slots.size(), 0);
  for (size_t i = 0; i < t.slots.size(); ++i)
    if (t.slots[i]) values[i] = *t.slots[i];
  t.stack.push_back(std::move(values));
  return true;
}

bool PopOptions() {
  Registry();
  TOptionTable& t = Options();
  if (t.stack.empty()) return false;
  const std::vector<int32_t>& values = t.stack.back();
  for (size_t i = 0; i < t.slots.size() && i < values.size(); ++i)
    if (t.slots[i]) *t.slots[i] = values[i];
  t.stack.pop_back();
  return true;
}

}  // namespace imprimo
