#include "cli/batch_options.h"

#include <charconv>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "app/texts.h"

namespace imprimo {

namespace {

// An option error of the string table with its place holders filled.
std::string Msg(TTextId id, std::initializer_list<std::string_view> args = {}) {
  return FormatText(Text(id), args);
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool ParseRanged(std::string_view name, std::string_view text, int lo, int hi, int& value,
                 std::string& error) {
  if (!ParseNumber(text, value) || value < lo || value > hi) {
    error = Msg(TTextId::CliOptWholeNumber, {name, std::to_string(lo), std::to_string(hi), text});
    return false;
  }
  return true;
}

// A colour given as RRGGBB (an optional leading "#"), stored as 0x00BBGGRR.
bool ParseColorValue(std::string_view name, std::string_view text, int& color, std::string& error) {
  std::string_view hex = text;
  if (hex.starts_with("#")) hex.remove_prefix(1);
  unsigned rgb = 0;
  auto [ptr, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), rgb, 16);
  if (hex.size() != 6 || ec != std::errc() || ptr != hex.data() + hex.size()) {
    error = Msg(TTextId::CliOptColour, {name, text});
    return false;
  }
  color = static_cast<int>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  return true;
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

}  // namespace

const char* BatchUsageText() {
  return "Usage: imprimo-batch [options] PATH...\n"
         "Watermarks image files and folders with an Imprimo template.\n"
         "PATHs are image files or folders (folders are searched with --filter).\n"
         "Settings come from Setup.ini; these options override them:\n"
         "  --program-folder DIR   folder holding Setup.ini, Log.dat and Watermarks/\n"
         "  --template NAME|FILE   template by name from Watermarks/, or a .wg file\n"
         "  --preset NAME          start from a preset saved in the window (its output,\n"
         "                         format, resize, border, rename, case, metadata and\n"
         "                         template); the other options override it\n"
         "  --list-presets         list the saved presets and exit\n"
         "  --out DIR              write the outputs under DIR (sub-folders mirrored)\n"
         "  --in-place             write each output beside its source\n"
         "  --format EXT           jpg png bmp mng jng gif dds tga pgm ppm pam pfm jp2 psd cif "
         "img\n"
         "                         webp avif tif\n"
         "  --quality N            JPEG/JNG/WebP/AVIF quality 10..100\n"
         "  --webp-lossless, --no-webp-lossless  lossless WebP coding\n"
         "  --avif-speed N         AVIF encoder speed 0 (slowest, smallest) .. 10\n"
         "  --tiff-compression lzw|deflate  compression of TIFF outputs\n"
         "  --compress N           PNG/MNG compression level 0..9\n"
         "  --resize WxH           restrict the dimensions to W x H\n"
         "  --resize-mode N        0 width and height, 1 height (keep aspect),\n"
         "                         2 width (keep aspect), 3 width and height (keep aspect)\n"
         "  --border T,R,B,L       draw a border with these widths\n"
         "  --border-color RRGGBB  border colour\n"
         "  --border-style N       0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot\n"
         "  --border-outside       add the border around the picture\n"
         "  --flatten RRGGBB       background for transparent areas in outputs\n"
         "                         without alpha (default FFFFFF)\n"
         "  --jpeg-subsampling S   JPEG chroma sampling: 420 (default), 422 or 444\n"
         "  --rename PATTERN       rename outputs ({FN} name, {EX} extension, # serial)\n"
         "  --serial N             first serial number for #, 0..9999999\n"
         "  --case upper|lower|keep  extension letter case\n"
         "  --overwrite            replace existing outputs instead of numbering them\n"
         "  --replace-originals    with --in-place and --overwrite: let outputs of the\n"
         "                         same name replace the source pictures themselves\n"
         "  --auto-rotate, --no-auto-rotate  turn pictures upright by their EXIF\n"
         "                         orientation before drawing (default on)\n"
         "  --keep-exif, --no-keep-exif  carry EXIF, XMP, IPTC and the colour profile over\n"
         "  --strip-location       leave GPS data and place names out of kept metadata\n"
         "  --keep-source-colors, --no-keep-source-colors  keep the colour values of a\n"
         "                         source with a colour profile when the output does not\n"
         "                         carry the profile (default: convert them to sRGB)\n"
         "  --filter MASKS         folder search filter, e.g. '*.jpg;*.heic' (any letter case);\n"
         "                         by default every file holding an image format that is read\n"
         "  --no-recurse           do not search sub-folders\n"
         "  --save-settings        write the effective settings back to Setup.ini\n"
         "  --strict               fail images whose watermark layers were not all drawn\n"
         "  --jobs N               images processed at once (default: Setup.ini's Jobs,\n"
         "                         0 = one per core); the outputs do not depend on it\n"
         "  --files-from FILE      read more PATHs from FILE, one per line ('-' = stdin)\n"
         "  --null                 the --files-from list is NUL-separated\n"
         "  --shard K/N            process rows K, K+N, K+2N, ... of the list (0 <= K < N);\n"
         "                         names, serial and sequence numbers are those of the\n"
         "                         whole list, so N shards into one folder write what\n"
         "                         one run would\n"
         "  --dry-run              print each row's output path, the collisions resolved\n"
         "                         and the text of every variable layer; write nothing\n"
         "  --quiet                print only errors\n"
         "  --help, --version\n"
         "Exit status: 0 every image succeeded, 1 some failed or the run was stopped,\n"
         "2 the run could not start.\n";
}

bool ParseBatchOptions(int argc, const char* const* argv, TBatchOptions& o, std::string& error) {
  bool onlyPaths = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (onlyPaths || arg.empty() || arg[0] != '-' || arg == "-") {
      o.Paths.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPaths = true;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    auto flag = [&](bool& target) {
      if (inlineValue) {
        error = Msg(TTextId::CliOptNoValue, {name});
        return false;
      }
      target = true;
      return true;
    };
    std::string_view value;
    auto needValue = [&]() {
      if (inlineValue) {
        value = *inlineValue;
        return true;
      }
      if (i + 1 >= argc) {
        error = Msg(TTextId::CliOptNeedsValue, {name});
        return false;
      }
      value = argv[++i];
      return true;
    };
    int n = 0;
    if (name == "--help" || name == "-h") {
      if (!flag(o.Help)) return false;
    } else if (name == "--version") {
      if (!flag(o.Version)) return false;
    } else if (name == "--quiet" || name == "-q") {
      if (!flag(o.Quiet)) return false;
    } else if (name == "--in-place") {
      if (!flag(o.InPlace)) return false;
    } else if (name == "--overwrite") {
      if (!flag(o.Overwrite)) return false;
    } else if (name == "--replace-originals") {
      if (!flag(o.ReplaceOriginals)) return false;
    } else if (name == "--border-outside") {
      if (!flag(o.BorderOutside)) return false;
    } else if (name == "--strict") {
      if (!flag(o.Strict)) return false;
    } else if (name == "--save-settings") {
      if (!flag(o.SaveSettings)) return false;
    } else if (name == "--no-recurse") {
      bool set = false;
      if (!flag(set)) return false;
      o.Recurse = false;
    } else if (name == "--keep-exif" || name == "--no-keep-exif") {
      bool set = false;
      if (!flag(set)) return false;
      o.KeepExif = name == "--keep-exif";
    } else if (name == "--auto-rotate" || name == "--no-auto-rotate") {
      bool set = false;
      if (!flag(set)) return false;
      o.AutoRotate = name == "--auto-rotate";
    } else if (name == "--strip-location") {
      if (!flag(o.StripLocation)) return false;
    } else if (name == "--keep-source-colors" || name == "--no-keep-source-colors") {
      bool set = false;
      if (!flag(set)) return false;
      o.KeepSourceColors = name == "--keep-source-colors";
    } else if (name == "--webp-lossless" || name == "--no-webp-lossless") {
      bool set = false;
      if (!flag(set)) return false;
      o.WebPLossless = name == "--webp-lossless";
    } else if (name == "--avif-speed") {
      if (!needValue() || !ParseRanged(name, value, 0, 10, n, error)) return false;
      o.AvifSpeed = n;
    } else if (name == "--tiff-compression") {
      if (!needValue()) return false;
      const std::string c = Lower(value);
      if (c != "lzw" && c != "deflate") {
        error = Msg(TTextId::CliOptTiffCompression, {value});
        return false;
      }
      o.TiffCompression = c == "deflate" ? 1 : 0;
    } else if (name == "--program-folder") {
      if (!needValue()) return false;
      o.ProgramFolder = value;
    } else if (name == "--list-presets") {
      if (!flag(o.ListPresets)) return false;
    } else if (name == "--preset") {
      if (!needValue()) return false;
      o.Preset = std::string(value);
    } else if (name == "--template") {
      if (!needValue()) return false;
      o.Template = value;
    } else if (name == "--out") {
      if (!needValue()) return false;
      if (value.empty()) {
        error = Msg(TTextId::CliOptOutFolder);
        return false;
      }
      o.OutFolder = std::string(value);
    } else if (name == "--format") {
      if (!needValue()) return false;
      const int index = SaveFormatFromExtension(value);
      if (index < 0) {
        error = Msg(TTextId::CliOptFormat, {value});
        return false;
      }
      o.SaveFormat = index;
    } else if (name == "--quality") {
      if (!needValue() || !ParseRanged(name, value, 10, 100, n, error)) return false;
      o.Quality = n;
    } else if (name == "--compress") {
      if (!needValue() || !ParseRanged(name, value, 0, 9, n, error)) return false;
      o.Compress = n;
    } else if (name == "--resize") {
      if (!needValue()) return false;
      const size_t x = Lower(value).find('x');
      int w = 0, h = 0;
      if (x == std::string_view::npos || !ParseNumber(value.substr(0, x), w) ||
          !ParseNumber(value.substr(x + 1), h) || w < 1 || h < 1 || w > 999999 || h > 999999) {
        error =
            "option --resize takes WIDTHxHEIGHT, e.g. 1024x768, not \"" + std::string(value) + "\"";
        return false;
      }
      o.NewWidth = w;
      o.NewHeight = h;
    } else if (name == "--resize-mode") {
      if (!needValue() || !ParseRanged(name, value, 0, 3, n, error)) return false;
      o.ResizeMode = n;
    } else if (name == "--border") {
      if (!needValue()) return false;
      std::vector<int> widths;
      std::string_view rest = value;
      bool ok = true;
      while (ok) {
        const size_t comma = rest.find(',');
        int w = 0;
        ok = ParseNumber(rest.substr(0, comma), w) && w >= 0 && w <= 65535;
        if (ok) widths.push_back(w);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
      if (!ok || widths.size() != 4) {
        error = Msg(TTextId::CliOptBorder, {value});
        return false;
      }
      o.Border = widths;
    } else if (name == "--border-color") {
      if (!needValue()) return false;
      int color = 0;
      if (!ParseColorValue(name, value, color, error)) return false;
      o.BorderColor = color;
    } else if (name == "--jpeg-subsampling") {
      if (!needValue()) return false;
      if (value == "420")
        o.JpegSubsampling = 0;
      else if (value == "422")
        o.JpegSubsampling = 1;
      else if (value == "444")
        o.JpegSubsampling = 2;
      else {
        error =
            "option --jpeg-subsampling takes 420, 422 or 444, not \"" + std::string(value) + "\"";
        return false;
      }
    } else if (name == "--flatten") {
      if (!needValue()) return false;
      int color = 0;
      if (!ParseColorValue(name, value, color, error)) return false;
      o.FlattenColor = color;
    } else if (name == "--border-style") {
      if (!needValue() || !ParseRanged(name, value, 0, 4, n, error)) return false;
      o.BorderStyle = n;
    } else if (name == "--rename") {
      if (!needValue()) return false;
      o.RenamePattern = std::string(value);
    } else if (name == "--serial") {
      if (!needValue() || !ParseRanged(name, value, 0, 9999999, n, error)) return false;
      o.Serial = n;
    } else if (name == "--case") {
      if (!needValue()) return false;
      const std::string c = Lower(value);
      if (c == "upper") {
        o.ChangeCase = 0;
      } else if (c == "lower") {
        o.ChangeCase = 1;
      } else if (c == "keep") {
        o.ChangeCase = 2;
      } else {
        error = Msg(TTextId::CliOptCase, {value});
        return false;
      }
    } else if (name == "--null") {
      if (!flag(o.NullSeparated)) return false;
    } else if (name == "--dry-run") {
      if (!flag(o.DryRun)) return false;
    } else if (name == "--jobs" || name == "-j") {
      if (!needValue() || !ParseRanged(name, value, 0, 256, n, error)) return false;
      o.Jobs = n;
    } else if (name == "--files-from") {
      if (!needValue()) return false;
      if (value.empty()) {
        error = Msg(TTextId::CliOptFilesFrom);
        return false;
      }
      o.FilesFrom = std::string(value);
    } else if (name == "--shard") {
      if (!needValue()) return false;
      const size_t slash = value.find('/');
      int k = -1, count = 0;
      if (slash == std::string_view::npos || !ParseNumber(value.substr(0, slash), k) ||
          !ParseNumber(value.substr(slash + 1), count) || count < 1 || k < 0 || k >= count) {
        error = Msg(TTextId::CliOptShard, {value});
        return false;
      }
      o.ShardIndex = k;
      o.ShardCount = count;
    } else if (name == "--filter") {
      if (!needValue()) return false;
      if (value.empty()) {
        error = Msg(TTextId::CliOptFilter);
        return false;
      }
      o.Filter = value;
    } else {
      error = Msg(TTextId::CliOptUnknown, {name});
      return false;
    }
  }
  if (o.OutFolder && o.InPlace) {
    error = Msg(TTextId::CliOptOutInPlace);
    return false;
  }
  return true;
}

std::vector<std::string> SplitFileList(std::string_view text, bool nullSeparated) {
  std::vector<std::string> paths;
  const char separator = nullSeparated ? '\0' : '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view entry = text.substr(start, end - start);
    if (!nullSeparated && entry.ends_with('\r')) entry.remove_suffix(1);
    if (!entry.empty()) paths.emplace_back(entry);
    start = end + 1;
  }
  return paths;
}

std::string OriginalsProblem(const TBatchOptions& o, const TSettings& s) {
  if (s.PathType == 2 || !s.OverwriteOutput || o.ReplaceOriginals) return std::string();
  return Msg(TTextId::CliOptInPlaceOverwrite);
}

void ApplyBatchOptions(const TBatchOptions& o, TSettings& s) {
  if (o.InPlace) s.PathType = 1;
  if (o.OutFolder) s.PathType = 2;
  if (o.SaveFormat) s.SaveFormat = *o.SaveFormat;
  if (o.Quality) s.Quality = *o.Quality;
  if (o.Compress) s.Compress = *o.Compress;
  if (o.NewWidth) {
    s.Resize = true;
    s.NewWidth = *o.NewWidth;
    s.NewHeight = *o.NewHeight;
  }
  if (o.ResizeMode) s.ResizeMode = *o.ResizeMode;
  if (o.Border) {
    s.DrawBorder = true;
    s.BorderTopWidth = (*o.Border)[0];
    s.BorderRightWidth = (*o.Border)[1];
    s.BorderBottomWidth = (*o.Border)[2];
    s.BorderLeftWidth = (*o.Border)[3];
  }
  if (o.BorderColor) s.BorderColor = *o.BorderColor;
  if (o.FlattenColor) s.FlattenColor = *o.FlattenColor;
  if (o.JpegSubsampling) s.JpegSubsampling = *o.JpegSubsampling;
  if (o.BorderStyle) s.BorderMode = *o.BorderStyle;
  if (o.BorderOutside) s.BorderPosition = false;
  if (o.RenamePattern) {
    s.Rename = true;
    s.RenameTpl = *o.RenamePattern;
  }
  if (o.Serial) s.RenameNo = *o.Serial;
  if (o.ChangeCase) s.ChangeCase = *o.ChangeCase;
  if (o.Overwrite) s.OverwriteOutput = true;
  if (o.KeepExif) s.KeepExif = *o.KeepExif;
  if (o.AutoRotate) s.AutoRotate = *o.AutoRotate;
  if (o.StripLocation) s.StripLocation = true;
  if (o.KeepSourceColors) s.KeepSourceColors = *o.KeepSourceColors;
  if (o.WebPLossless) s.WebPLossless = *o.WebPLossless;
  if (o.AvifSpeed) s.AvifSpeed = *o.AvifSpeed;
  if (o.TiffCompression) s.TiffCompression = *o.TiffCompression;
}

}  // namespace imprimo
