#include "app/settings.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "app/setting_table.h"
#include "app/texts.h"
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

int32_t EffectiveLogLimit(int32_t stored) {
  return std::clamp(stored, kStandardLogLimit, kLargestLogLimit);
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
  s = TSettings();
  v = TProgramValues();
  const IniDocument ini = IniDocument::Open(SetupPath(folder));
  for (const TSettingDef& def : SettingTable()) ReadSetting(ini, kSection, def, s, v);
}

void SaveSettings(const std::string& folder, const TSettings& s, const TProgramValues& v) {
  std::string path = SetupPath(folder);
  IniDocument ini = IniDocument::Open(path);
  // Rewriting a file that exists but could not be read would lose its
  // other sections and keys.
  if (ini.ReadError())
    throw std::runtime_error(FormatText(Text(TTextId::SettingsUnreadable), {path}));
  for (const TSettingDef& def : SettingTable()) WriteSetting(ini, kSection, def, s, v);
  ini.UpdateFile();
}

void NormalizeOutputFolder(TSettings& settings) {
  settings.OutPath =
      settings.PathType == 1 ? settings.ScrPath : WithTrailingSeparator(settings.OutPath);
}

}  // namespace imprimo
