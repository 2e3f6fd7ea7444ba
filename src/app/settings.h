// The processing settings record and the program-wide values stored beside
// it in Setup.ini.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace imprimo {

// Default output and source folders: the user's home folder with a trailing
// "/" (computed at run time).
std::string DefaultUserFolder();

// Default output folder: "Imprimo/" in the user's pictures folder (the XDG
// pictures directory, else ~/Pictures), never the home folder itself. A run
// creates it when it does not exist yet.
std::string DefaultOutputFolder();

struct TSettings {
  bool Resize = false;
  int32_t NewWidth = 640;
  int32_t NewHeight = 480;
  int32_t ResizeMode = 3;
  bool DrawBorder = false;
  int32_t BorderTopWidth = 4;
  int32_t BorderRightWidth = 4;
  int32_t BorderBottomWidth = 4;
  int32_t BorderLeftWidth = 4;
  int32_t BorderColor = 0;  // TColor: 0x00BBGGRR, negative = system colour
  int32_t BorderMode = 0;
  bool BorderPosition = true;  // true = inside
  int32_t PathType = 2;
  std::string OutPath = DefaultOutputFolder();
  int32_t Quality = 90;
  int32_t Compress = 5;
  int32_t Colors = 3;
  int32_t SaveFormat = 0;
  int32_t ChangeCase = 2;
  bool OverwriteOutput = false;
  bool Rename = false;
  std::string RenameTpl = "New####";
  int64_t RenameNo = 1;
  std::string ScrPath = DefaultUserFolder();
  bool KeepExif = true;
  // Background that transparent areas are laid on for outputs without alpha
  // (TColor 0x00BBGGRR).
  int32_t FlattenColor = 0x00FFFFFF;
  // JPEG chroma sampling: 0 4:2:0, 1 4:2:2, 2 4:4:4.
  int32_t JpegSubsampling = 0;
  // Turn and mirror a picture upright by its EXIF Orientation before drawing,
  // and say Orientation 1 in the kept EXIF. Off keeps the stored pixels and tag.
  bool AutoRotate = true;
  // Kept metadata loses its location: GPS data and the place fields of XMP
  // and IPTC.
  bool StripLocation = false;
  // Newer output formats: WebP coded losslessly (else lossy at Quality),
  // the AVIF encoder's speed 0..10 (AVIF quality is Quality), TIFF
  // compression 0 LZW, 1 Deflate.
  bool WebPLossless = false;
  int32_t AvifSpeed = 6;
  int32_t TiffCompression = 0;
  // A source with a colour profile, written to an output that does not carry
  // it, keeps its sample values instead of being converted to sRGB.
  bool KeepSourceColors = false;
};

// Values kept in the same section of Setup.ini but outside the record.
// The run log's standard size in characters (its oldest lines go first),
// and the most a Setup.ini may raise it to.
constexpr int32_t kStandardLogLimit = 1000;
constexpr int32_t kLargestLogLimit = 100'000'000;
// The log size Setup.ini asks for, within the standard and the largest.
int32_t EffectiveLogLimit(int32_t stored);

struct TProgramValues {
  int32_t TplIndex = 0;
  int32_t WinWidth = 799;
  int32_t WinHeight = 568;
  int32_t WinState = 0;  // 0 normal, 1 minimized, 2 maximized
  bool Open = false;
  bool RemoveList = false;
  bool Close = false;
  // Images processed at the same time by a run: 0 one per core, 1 one at a
  // time. Outputs and the run log are the same for every value.
  int32_t Jobs = 0;
  // The run log's size in characters; values below the standard count as
  // the standard, values above the largest as the largest.
  int32_t LogLimit = kStandardLogLimit;
};

// Output format list, in the order of the format combo boxes.
struct TSaveFormatInfo {
  const char* listText;
  const char* extension;  // with the dot
  enum Option { kNone, kQuality, kCompression } option;
};
// The first 16 are the classic formats; WebP, AVIF and TIFF follow them so
// that a stored index keeps its meaning.
constexpr int kSaveFormatCount = 19;
const TSaveFormatInfo& SaveFormatInfo(int index);  // index 0..18
// The output format an extension names ("jpg", ".PNG", "jpeg", "tiff", ...),
// or -1 when no output format has it.
int SaveFormatFromExtension(std::string_view extension);

// The output folder a run uses, as copying the panel in makes it: the source
// folder when outputs go beside their sources (PathType 1), else OutPath with
// a trailing "/" (an empty one becomes "/").
void NormalizeOutputFolder(TSettings& settings);

// Reads folder + "Setup.ini"; missing or unreadable keys take their defaults.
void LoadSettings(const std::string& folder, TSettings& settings, TProgramValues& values);
// Writes every field and value to folder + "Setup.ini" (UTF-16LE with BOM),
// keeping the other keys and sections of an existing file. Throws on a
// write failure.
void SaveSettings(const std::string& folder, const TSettings& settings,
                  const TProgramValues& values);

}  // namespace imprimo
