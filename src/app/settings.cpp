#include "app/settings.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "ini/ini_document.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace imprimo {

namespace {

constexpr std::u16string_view kSection = u"Setup";

const TSaveFormatInfo kFormats[kSaveFormatCount] = {
    {"JPG - Joint Photographic Experts Group", ".jpg", TSaveFormatInfo::kQuality},
    {"PNG - Portable Network Graphics", ".png", TSaveFormatInfo::kCompression},
    {"BMP - Windows Bitmap Image", ".bmp", TSaveFormatInfo::kNone},
    {"MNG - Multiple Network Graphics", ".mng", TSaveFormatInfo::kCompression},
    {"JNG - JPEG Network Graphics", ".jng", TSaveFormatInfo::kQuality},
    {"GIF - Graphics Interchange Format", ".gif", TSaveFormatInfo::kNone},
    {"DDS - DirectDraw Surface", ".dds", TSaveFormatInfo::kNone},
    {"TGA - Truevision Targa Image", ".tga", TSaveFormatInfo::kNone},
    {"PGM - Portable Gray Map", ".pgm", TSaveFormatInfo::kNone},
    {"PPM - Portable Pixel Map", ".ppm", TSaveFormatInfo::kNone},
    {"PAM - Portable Arbitrary Map", ".pam", TSaveFormatInfo::kNone},
    {"PFM - Portable Float Map", ".pfm", TSaveFormatInfo::kNone},
    {"JP2 - JPEG 2000 Image", ".jp2", TSaveFormatInfo::kNone},
    {"PSD - Photoshop Image", ".psd", TSaveFormatInfo::kNone},
    {"CIF - Daggerfall MultiImage", ".cif", TSaveFormatInfo::kNone},
    {"IMG - Daggerfall Image", ".img", TSaveFormatInfo::kNone},
    {"WEBP - WebP Image", ".webp", TSaveFormatInfo::kQuality},
    {"AVIF - AV1 Image File", ".avif", TSaveFormatInfo::kQuality},
    {"TIFF - Tagged Image File Format", ".tif", TSaveFormatInfo::kNone},
};

std::string SetupPath(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder + "Setup.ini";
  return folder + "/Setup.ini";
}

}  // namespace

std::string DefaultUserFolder() {
  const char* home = std::getenv("HOME");
  std::string folder = (home && *home) ? home : "/";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string DefaultOutputFolder() {
  const std::string home = DefaultUserFolder();
  std::string pictures;
  // The desktop's own name for the pictures folder, when it has one.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string dirs =
      (config && *config == '/' ? std::string(config) : home + ".config") + "/user-dirs.dirs";
  std::ifstream in(dirs);
  for (std::string line; std::getline(in, line);) {
    const std::string key = "XDG_PICTURES_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0)
      value = home + value.substr(value.size() > 5 && value[5] == '/' ? 6 : 5);
    if (!value.empty() && value.front() == '/') pictures = value;
  }
  if (!pictures.empty() && pictures.back() != '/') pictures += '/';
  // A desktop without a pictures folder names the home folder itself.
  if (pictures.empty() || pictures == home || pictures == "/") pictures = home + "Pictures/";
  return pictures + "Imprimo/";
}

const TSaveFormatInfo& SaveFormatInfo(int index) {
  // Out-of-range indexes (-1 = nothing selected) fall back to the first format.
  if (index < 0 || index >= kSaveFormatCount) index = 0;
  return kFormats[index];
}

int SaveFormatFromExtension(std::string_view extension) {
  std::string ext = LowerCaseUtf8(extension);
  if (!ext.starts_with('.')) ext.insert(0, 1, '.');
  if (ext == ".jpeg") ext = ".jpg";
  if (ext == ".tiff") ext = ".tif";
  for (int f = 0; f < kSaveFormatCount; ++f)
    if (ext == kFormats[f].extension) return f;
  return -1;
}

void LoadSettings(const std::string& folder, TSettings& s, TProgramValues& v) {
  const TSettings d;
  const TProgramValues dv;
  IniDocument ini = IniDocument::Open(SetupPath(folder));
  auto B = [&](std::u16string_view key, bool def) { return ini.ReadBool(kSection, key, def); };
  auto I = [&](std::u16string_view key, int32_t def) {
    return ini.ReadInteger(kSection, key, def);
  };
  auto S = [&](std::u16string_view key, const std::string& def) {
    return Utf16ToUtf8(ini.ReadString(kSection, key, Utf8ToUtf16(def)));
  };
  s.Resize = B(u"Resize", d.Resize);
  s.NewWidth = I(u"NewWidth", d.NewWidth);
  s.NewHeight = I(u"NewHeight", d.NewHeight);
  s.ResizeMode = I(u"ResizeMode", d.ResizeMode);
  s.DrawBorder = B(u"DrawBorder", d.DrawBorder);
  s.BorderTopWidth = I(u"BorderTopWidth", d.BorderTopWidth);
  s.BorderRightWidth = I(u"BorderRightWidth", d.BorderRightWidth);
  s.BorderBottomWidth = I(u"BorderBottomWidth", d.BorderBottomWidth);
  s.BorderLeftWidth = I(u"BorderLeftWidth", d.BorderLeftWidth);
  s.BorderColor = I(u"BorderColor", d.BorderColor);
  s.BorderMode = I(u"BorderMode", d.BorderMode);
  s.BorderPosition = B(u"BorderPosition", d.BorderPosition);
  v.TplIndex = I(u"TplIndex", dv.TplIndex);
  s.PathType = I(u"PathType", d.PathType);
  s.Quality = I(u"Quality", d.Quality);
  s.Compress = I(u"Compress", d.Compress);
  s.Colors = I(u"Colors", d.Colors);
  s.ScrPath = S(u"ScrPath", d.ScrPath);
  s.OutPath = S(u"OutPath", d.OutPath);
  s.SaveFormat = I(u"SaveFormat", d.SaveFormat);
  s.ChangeCase = I(u"ChangeCase", d.ChangeCase);
  s.KeepExif = B(u"KeepExif", d.KeepExif);
  s.OverwriteOutput = B(u"OverwriteOutput", d.OverwriteOutput);
  s.Rename = B(u"Rename", d.Rename);
  s.RenameTpl = S(u"RenameTpl", d.RenameTpl);
  // The file holds the serial as a 32-bit value; it is widened with its sign.
  s.RenameNo = I(u"RenameNo", static_cast<int32_t>(d.RenameNo));
  v.WinWidth = I(u"WinWidth", dv.WinWidth);
  v.WinHeight = I(u"WinHeight", dv.WinHeight);
  v.WinState = I(u"WinState", dv.WinState);
  v.Open = B(u"Open", dv.Open);
  v.RemoveList = B(u"RemoveList", dv.RemoveList);
  v.Close = B(u"Close", dv.Close);
  s.FlattenColor = I(u"FlattenColor", d.FlattenColor);
  s.JpegSubsampling = I(u"JpegSubsampling", d.JpegSubsampling);
  s.AutoRotate = B(u"AutoRotate", d.AutoRotate);
  s.StripLocation = B(u"StripLocation", d.StripLocation);
  s.WebPLossless = B(u"WebPLossless", d.WebPLossless);
  s.AvifSpeed = I(u"AvifSpeed", d.AvifSpeed);
  s.TiffCompression = I(u"TiffCompression", d.TiffCompression);
  s.KeepSourceColors = B(u"KeepSourceColors", d.KeepSourceColors);
  v.Jobs = I(u"Jobs", dv.Jobs);
}

void SaveSettings(const std::string& folder, const TSettings& s, const TProgramValues& v) {
  std::string path = SetupPath(folder);
  IniDocument ini = IniDocument::Open(path);
  // Rewriting a file that exists but could not be read would lose its
  // other sections and keys.
  if (ini.ReadError()) throw std::runtime_error("Cannot read settings file \"" + path + "\"");
  auto B = [&](std::u16string_view key, bool value) { ini.WriteBool(kSection, key, value); };
  auto I = [&](std::u16string_view key, int32_t value) { ini.WriteInteger(kSection, key, value); };
  auto S = [&](std::u16string_view key, const std::string& value) {
    ini.WriteString(kSection, key, Utf8ToUtf16(value));
  };
  B(u"Resize", s.Resize);
  I(u"NewWidth", s.NewWidth);
  I(u"NewHeight", s.NewHeight);
  I(u"ResizeMode", s.ResizeMode);
  B(u"DrawBorder", s.DrawBorder);
  I(u"BorderTopWidth", s.BorderTopWidth);
  I(u"BorderRightWidth", s.BorderRightWidth);
  I(u"BorderBottomWidth", s.BorderBottomWidth);
  I(u"BorderLeftWidth", s.BorderLeftWidth);
  I(u"BorderColor", s.BorderColor);
  I(u"BorderMode", s.BorderMode);
  B(u"BorderPosition", s.BorderPosition);
  I(u"TplIndex", v.TplIndex);
  I(u"PathType", s.PathType);
  I(u"Quality", s.Quality);
  I(u"Compress", s.Compress);
  I(u"Colors", s.Colors);
  S(u"ScrPath", s.ScrPath);
  S(u"OutPath", s.OutPath);
  I(u"SaveFormat", s.SaveFormat);
  I(u"ChangeCase", s.ChangeCase);
  B(u"OverwriteOutput", s.OverwriteOutput);
  B(u"Rename", s.Rename);
  S(u"RenameTpl", s.RenameTpl);
  I(u"RenameNo", static_cast<int32_t>(static_cast<uint32_t>(s.RenameNo)));
  B(u"KeepExif", s.KeepExif);
  I(u"WinWidth", v.WinWidth);
  I(u"WinHeight", v.WinHeight);
  I(u"WinState", v.WinState);
  B(u"Open", v.Open);
  B(u"RemoveList", v.RemoveList);
  B(u"Close", v.Close);
  I(u"FlattenColor", s.FlattenColor);
  I(u"JpegSubsampling", s.JpegSubsampling);
  B(u"AutoRotate", s.AutoRotate);
  B(u"StripLocation", s.StripLocation);
  B(u"WebPLossless", s.WebPLossless);
  I(u"AvifSpeed", s.AvifSpeed);
  I(u"TiffCompression", s.TiffCompression);
  B(u"KeepSourceColors", s.KeepSourceColors);
  I(u"Jobs", v.Jobs);
  ini.UpdateFile();
}

void NormalizeOutputFolder(TSettings& settings) {
  settings.OutPath =
      settings.PathType == 1 ? settings.ScrPath : WithTrailingSeparator(settings.OutPath);
}

}  // namespace imprimo
