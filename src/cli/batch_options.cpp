#include "cli/batch_options.h"

#include <algorithm>
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

bool ParseRanged(std::string_view name, std::string_view text, int64_t lo, int64_t hi,
                 int64_t& value, std::string& error) {
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

// One option being read: its name as typed and its value, inline
// ("--x=V") or the next argument.
struct TOptionCall {
  int argc;
  const char* const* argv;
  int& index;
  std::string_view name;
  std::optional<std::string_view> inlineValue;
  TBatchOptions& options;
  std::string& error;

  // An option without a value refuses "--x=V".
  bool NoValue() {
    if (!inlineValue) return true;
    error = Msg(TTextId::CliOptNoValue, {name});
    return false;
  }
  bool Value(std::string_view& value) {
    if (inlineValue) {
      value = *inlineValue;
      return true;
    }
    if (index + 1 >= argc) {
      error = Msg(TTextId::CliOptNeedsValue, {name});
      return false;
    }
    value = argv[++index];
    return true;
  }
  bool Set(bool& target) {
    if (!NoValue()) return false;
    target = true;
    return true;
  }
  // A value that must not be empty, else the message id.
  bool NonEmpty(std::string_view& value, TTextId emptyError) {
    if (!Value(value)) return false;
    if (!value.empty()) return true;
    error = Msg(emptyError);
    return false;
  }
  void Override(std::u16string_view key, int64_t number, std::string text = {}) {
    options.Settings.push_back({FindSetting(key), number, std::move(text)});
  }
};

using THandler = bool (*)(TOptionCall&);

// An option of the command. Those that set one setting by the setting
// table's own kinds name it (Setting) and take their name, help and parsing
// from the table; the others are read by Handle.
struct TCommandOption {
  const char* Name;
  const char* Alias;     // a short form, not shown
  const char* Synopsis;  // as --help shows it; null: not shown
  const char* Help;
  THandler Handle;
  TValueKind Value = TValueKind::None;  // for shell completion
  std::u16string_view Setting;
};

// The setting's own option, read by its kind.
bool ReadSettingOption(TOptionCall& call, const TSettingDef& def) {
  std::string_view value;
  switch (def.Kind) {
    case TOptionKind::Flag:
      if (!call.NoValue()) return false;
      call.Override(def.Key, def.FlagValue);
      return true;
    case TOptionKind::OnOff:
      if (!call.NoValue()) return false;
      call.Override(def.Key, !call.name.starts_with("--no-"));
      return true;
    case TOptionKind::Number: {
      int64_t n = 0;
      if (!call.Value(value) || !ParseRanged(call.name, value, def.Low, def.High, n, call.error))
        return false;
      call.Override(def.Key, n);
      return true;
    }
    case TOptionKind::Colour: {
      int color = 0;
      if (!call.Value(value) || !ParseColorValue(call.name, value, color, call.error)) return false;
      call.Override(def.Key, color);
      return true;
    }
    case TOptionKind::Words: {
      if (!call.Value(value)) return false;
      const std::string word = Lower(value);
      std::string_view words = def.Words;
      for (int64_t index = 0; !words.empty(); ++index) {
        const size_t blank = std::min(words.find(' '), words.size());
        if (words.substr(0, blank) == word) {
          call.Override(def.Key, index);
          return true;
        }
        words.remove_prefix(std::min(blank + 1, words.size()));
      }
      call.error = Msg(def.WordsError, {value});
      return false;
    }
    case TOptionKind::None:
      break;
  }
  return false;
}

bool ReadFormat(TOptionCall& call) {
  std::string_view value;
  if (!call.Value(value)) return false;
  const int format = SaveFormatFromExtension(value);
  if (format < 0) {
    call.error = Msg(TTextId::CliOptFormat, {value});
    return false;
  }
  call.Override(u"SaveFormat", format);
  return true;
}

bool ReadResize(TOptionCall& call) {
  std::string_view value;
  if (!call.Value(value)) return false;
  const TSettingDef& width = *FindSetting(u"NewWidth");
  const TSettingDef& height = *FindSetting(u"NewHeight");
  const size_t x = Lower(value).find('x');
  int64_t w = 0, h = 0;
  if (x == std::string_view::npos || !ParseNumber(value.substr(0, x), w) ||
      !ParseNumber(value.substr(x + 1), h) || w < width.Low || w > width.High || h < height.Low ||
      h > height.High) {
    call.error = Msg(TTextId::CliOptResize, {value});
    return false;
  }
  call.Override(u"Resize", 1);
  call.Override(u"NewWidth", w);
  call.Override(u"NewHeight", h);
  return true;
}

bool ReadBorder(TOptionCall& call) {
  static constexpr std::u16string_view kSides[] = {u"BorderTopWidth", u"BorderRightWidth",
                                                   u"BorderBottomWidth", u"BorderLeftWidth"};
  std::string_view value;
  if (!call.Value(value)) return false;
  std::vector<int64_t> widths;
  std::string_view rest = value;
  bool ok = true;
  while (ok && widths.size() <= 4) {
    const size_t comma = rest.find(',');
    int64_t w = 0;
    const TSettingDef& side = *FindSetting(kSides[std::min<size_t>(widths.size(), 3)]);
    ok = ParseNumber(rest.substr(0, comma), w) && w >= side.Low && w <= side.High;
    if (ok) widths.push_back(w);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (!ok || widths.size() != 4) {
    call.error = Msg(TTextId::CliOptBorder, {value});
    return false;
  }
  call.Override(u"DrawBorder", 1);
  for (size_t i = 0; i < 4; ++i) call.Override(kSides[i], widths[i]);
  return true;
}

bool ReadRename(TOptionCall& call) {
  std::string_view value;
  if (!call.Value(value)) return false;
  call.Override(u"Rename", 1);
  call.Override(u"RenameTpl", 0, std::string(value));
  return true;
}

bool ReadOut(TOptionCall& call) {
  std::string_view value;
  if (!call.NonEmpty(value, TTextId::CliOptOutFolder)) return false;
  call.options.OutFolder = std::string(value);
  call.Override(u"PathType", 2);
  return true;
}

bool ReadInPlace(TOptionCall& call) {
  if (!call.Set(call.options.InPlace)) return false;
  call.Override(u"PathType", 1);
  return true;
}

bool ReadJobs(TOptionCall& call) {
  const TSettingDef& jobs = *FindSetting(u"Jobs");
  std::string_view value;
  int64_t n = 0;
  if (!call.Value(value) || !ParseRanged(call.name, value, jobs.Low, jobs.High, n, call.error))
    return false;
  call.options.Jobs = static_cast<int>(n);
  return true;
}

bool ReadShard(TOptionCall& call) {
  std::string_view value;
  if (!call.Value(value)) return false;
  const size_t slash = value.find('/');
  int k = -1, count = 0;
  if (slash == std::string_view::npos || !ParseNumber(value.substr(0, slash), k) ||
      !ParseNumber(value.substr(slash + 1), count) || count < 1 || k < 0 || k >= count) {
    call.error = Msg(TTextId::CliOptShard, {value});
    return false;
  }
  call.options.ShardIndex = k;
  call.options.ShardCount = count;
  return true;
}

// A text option stored as typed.
template <auto Member>
bool ReadString(TOptionCall& call) {
  std::string_view value;
  if (!call.Value(value)) return false;
  call.options.*Member = std::string(value);
  return true;
}

// A text option that must not be empty.
template <auto Member, TTextId EmptyError>
bool ReadNonEmpty(TOptionCall& call) {
  std::string_view value;
  if (!call.NonEmpty(value, EmptyError)) return false;
  call.options.*Member = std::string(value);
  return true;
}

template <auto Member>
bool ReadFlag(TOptionCall& call) {
  return call.Set(call.options.*Member);
}

bool ReadNoRecurse(TOptionCall& call) {
  if (!call.NoValue()) return false;
  call.options.Recurse = false;
  return true;
}

using O = TBatchOptions;

// Every option, in the order of --help.
const TCommandOption kOptions[] = {
    {"--program-folder", nullptr, "--program-folder DIR",
     "folder holding Setup.ini, Log.dat and Watermarks/", ReadString<&O::ProgramFolder>,
     TValueKind::Folder},
    {"--template", nullptr, "--template NAME|FILE",
     "template by name from Watermarks/, or a .wg file", ReadString<&O::Template>,
     TValueKind::File},
    {"--preset", nullptr, "--preset NAME",
     "start from a preset saved in the window (its output,\n"
     "format, resize, border, rename, case, metadata and\n"
     "template); the other options override it",
     ReadString<&O::Preset>, TValueKind::Preset},
    {"--list-presets", nullptr, "--list-presets", "list the saved presets and exit",
     ReadFlag<&O::ListPresets>},
    {"--out", nullptr, "--out DIR", "write the outputs under DIR (sub-folders mirrored)", ReadOut,
     TValueKind::Folder},
    {"--in-place", nullptr, "--in-place", "write each output beside its source", ReadInPlace},
    {"--format", nullptr, "--format EXT", nullptr, ReadFormat, TValueKind::Words},
    {.Setting = u"Quality"},
    {.Setting = u"WebPLossless"},
    {.Setting = u"AvifSpeed"},
    {.Setting = u"TiffCompression"},
    {.Setting = u"Compress"},
    {"--resize", nullptr, "--resize WxH", "restrict the dimensions to W x H", ReadResize,
     TValueKind::Text},
    {.Setting = u"ResizeMode"},
    {"--border", nullptr, "--border T,R,B,L", "draw a border with these widths", ReadBorder,
     TValueKind::Text},
    {.Setting = u"BorderColor"},
    {.Setting = u"BorderMode"},
    {.Setting = u"BorderPosition"},
    {.Setting = u"FlattenColor"},
    {.Setting = u"JpegSubsampling"},
    {"--rename", nullptr, "--rename PATTERN",
     "rename outputs ({FN} name, {EX} extension, # serial)", ReadRename, TValueKind::Text},
    {.Setting = u"RenameNo"},
    {.Setting = u"ChangeCase"},
    {.Setting = u"OverwriteOutput"},
    {"--replace-originals", nullptr, "--replace-originals",
     "with --in-place and --overwrite: let outputs of the\n"
     "same name replace the source pictures themselves",
     ReadFlag<&O::ReplaceOriginals>},
    {.Setting = u"AutoRotate"},
    {.Setting = u"KeepExif"},
    {.Setting = u"StripLocation"},
    {.Setting = u"KeepSourceColors"},
    {"--filter", nullptr, "--filter MASKS",
     "folder search filter, e.g. '*.jpg;*.heic' (any letter case);\n"
     "by default every file holding an image format that is read",
     ReadNonEmpty<&O::Filter, TTextId::CliOptFilter>, TValueKind::Text},
    {"--no-recurse", nullptr, "--no-recurse", "do not search sub-folders", ReadNoRecurse},
    {"--save-settings", nullptr, "--save-settings",
     "write the effective settings back to Setup.ini", ReadFlag<&O::SaveSettings>},
    {"--strict", nullptr, "--strict", "fail images whose watermark layers were not all drawn",
     ReadFlag<&O::Strict>},
    {"--jobs", "-j", "--jobs N",
     "images processed at once (default: Setup.ini's Jobs,\n"
     "0 = one per core); the outputs do not depend on it",
     ReadJobs, TValueKind::Text},
    {"--files-from", nullptr, "--files-from FILE",
     "read more PATHs from FILE, one per line ('-' = stdin)",
     ReadNonEmpty<&O::FilesFrom, TTextId::CliOptFilesFrom>, TValueKind::File},
    {"--null", nullptr, "--null", "the --files-from list is NUL-separated",
     ReadFlag<&O::NullSeparated>},
    {"--shard", nullptr, "--shard K/N",
     "process rows K, K+N, K+2N, ... of the list (0 <= K < N);\n"
     "names, serial and sequence numbers are those of the\n"
     "whole list, so N shards into one folder write what\n"
     "one run would",
     ReadShard, TValueKind::Text},
    {"--dry-run", nullptr, "--dry-run",
     "print each row's output path, the collisions resolved\n"
     "and the text of every variable layer; write nothing",
     ReadFlag<&O::DryRun>},
    {"--quiet", "-q", "--quiet", "print only errors", ReadFlag<&O::Quiet>},
    {"--help", "-h", "--help, --version", "print this help or the version and exit",
     ReadFlag<&O::Help>},
    {"--version", nullptr, nullptr, nullptr, ReadFlag<&O::Version>},
};

// The option typed as name, with the setting it sets when it is one of the
// table's; null when there is none.
const TCommandOption* FindOption(std::string_view name, const TSettingDef*& setting) {
  for (const TCommandOption& option : kOptions) {
    setting = option.Setting.empty() ? nullptr : FindSetting(option.Setting);
    if (setting) {
      const std::string_view own = setting->Option;
      if (name == own) return &option;
      if (setting->Kind == TOptionKind::OnOff && name.starts_with("--no-") &&
          name.substr(5) == own.substr(2))
        return &option;
    } else if (name == option.Name || (option.Alias && name == option.Alias)) {
      return &option;
    }
  }
  return nullptr;
}

// The output formats by extension, the classic ones on the first line.
std::string FormatListHelp() {
  std::string list;
  for (int f = 0; f < kSaveFormatCount; ++f) {
    if (f > 0) list += f == 16 ? '\n' : ' ';
    list += SaveFormatInfo(f).extension + 1;
  }
  return list;
}

// One entry of --help: the synopsis, then the text in a column, its later
// lines indented under the first.
void AppendHelp(std::string& out, std::string_view synopsis, std::string_view help) {
  constexpr size_t kColumn = 21;
  out += "  ";
  out += synopsis;
  if (!help.empty()) {
    if (synopsis.size() < kColumn) out.append(kColumn - synopsis.size(), ' ');
    out += "  ";
    for (size_t start = 0;;) {
      const size_t end = std::min(help.find('\n', start), help.size());
      out += help.substr(start, end - start);
      if (end == help.size()) break;
      out += '\n';
      out.append(kColumn + 4, ' ');
      start = end + 1;
    }
  }
  out += '\n';
}

// The words of a blank-separated list.
std::vector<std::string> SplitWords(std::string_view words) {
  std::vector<std::string> list;
  while (!words.empty()) {
    const size_t blank = std::min(words.find(' '), words.size());
    if (blank > 0) list.emplace_back(words.substr(0, blank));
    words.remove_prefix(std::min(blank + 1, words.size()));
  }
  return list;
}

// The description of a setting's own option, "{range}" filled in.
TOptionDoc SettingOptionDoc(const TSettingDef& def) {
  TOptionDoc doc;
  doc.Names = {def.Option};
  doc.Synopsis = def.Option;
  if (def.Kind == TOptionKind::OnOff) {
    doc.Names.push_back("--no-" + doc.Synopsis.substr(2));
    doc.Synopsis += ", " + doc.Names.back();
  }
  if (def.OptionArg) doc.Synopsis += std::string(" ") + def.OptionArg;
  doc.Help = def.Help;
  if (const size_t at = doc.Help.find("{range}"); at != std::string::npos)
    doc.Help.replace(at, 7, std::to_string(def.Low) + ".." + std::to_string(def.High));
  if (def.Kind == TOptionKind::Words) {
    doc.Value = TValueKind::Words;
    doc.Words = SplitWords(def.Words);
  } else if (def.Kind == TOptionKind::Number || def.Kind == TOptionKind::Colour) {
    doc.Value = TValueKind::Text;
  }
  return doc;
}

// The description of one of the command's own options.
TOptionDoc CommandOptionDoc(const TCommandOption& option) {
  TOptionDoc doc;
  doc.Names = {option.Name};
  if (option.Alias) doc.Names.push_back(option.Alias);
  // "--help, --version" is one entry of the help.
  if (option.Handle == ReadFlag<&O::Help>) doc.Names.push_back("--version");
  doc.Synopsis = option.Synopsis;
  doc.Value = option.Value;
  if (option.Handle == ReadFormat) {
    doc.Help = FormatListHelp();
    for (int f = 0; f < kSaveFormatCount; ++f)
      doc.Words.emplace_back(SaveFormatInfo(f).extension + 1);
  } else if (option.Help) {
    doc.Help = option.Help;
  }
  return doc;
}

// Reads one option at argv[index] (moving index past its value).
bool ReadOption(int argc, const char* const* argv, int& index, TBatchOptions& options,
                std::string& error) {
  const std::string_view arg = argv[index];
  std::string_view name = arg;
  std::optional<std::string_view> inlineValue;
  if (const size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
    name = arg.substr(0, eq);
    inlineValue = arg.substr(eq + 1);
  }
  const TSettingDef* setting = nullptr;
  const TCommandOption* option = FindOption(name, setting);
  if (!option) {
    error = Msg(TTextId::CliOptUnknown, {name});
    return false;
  }
  TOptionCall call{argc, argv, index, name, inlineValue, options, error};
  return setting ? ReadSettingOption(call, *setting) : option->Handle(call);
}

}  // namespace

std::vector<TOptionDoc> BatchOptionDocs() {
  std::vector<TOptionDoc> docs;
  for (const TCommandOption& option : kOptions) {
    if (!option.Setting.empty())
      docs.push_back(SettingOptionDoc(*FindSetting(option.Setting)));
    else if (option.Synopsis)
      docs.push_back(CommandOptionDoc(option));
  }
  return docs;
}

TProgramDoc BatchProgramDoc() {
  TProgramDoc doc;
  doc.Name = "imprimo-batch";
  doc.Summary = "watermark image files and folders with an Imprimo template";
  doc.Synopsis = "[options] PATH...";
  doc.HelpIntro =
      "Watermarks image files and folders with an Imprimo template.\n"
      "PATHs are image files or folders (folders are searched with --filter).\n"
      "Settings come from Setup.ini; these options override them:\n";
  doc.Description =
      "imprimo-batch runs the batch of the desktop program imprimo without a window: the same "
      "Setup.ini, templates, presets, run log and results. Every picture named, and every "
      "picture found in the folders named (with their sub-folders), is loaded, optionally "
      "resized and bordered, watermarked with the template, renamed by the pattern and saved "
      "in the output format, with its metadata carried over.\n"
      "\n"
      "Settings come from Setup.ini, then from the preset given with --preset; the options "
      "typed override both, for this run only unless --save-settings writes them back.";
  doc.Options = BatchOptionDocs();
  doc.HelpOutro =
      "Exit status: 0 every image succeeded, 1 some failed or the run was stopped,\n"
      "2 the run could not start.\n";
  doc.ExitStatus =
      "0 every image succeeded\n"
      "1 some images failed, or the run was stopped (Ctrl+C)\n"
      "2 the run could not start: a bad option, no template, no pictures\n";
  doc.Files =
      "~/.config/imprimo/Setup.ini the settings and the presets (or Setup.ini in the "
      "--program-folder)\n"
      "~/.config/imprimo/Log.dat the run log\n"
      "~/.config/imprimo/Watermarks/ your own templates, found by --template NAME\n";
  doc.SeeAlso = {"imprimo(1)", "MarkDesigner(1)"};
  return doc;
}

std::string BatchUsageText() {
  const TProgramDoc doc = BatchProgramDoc();
  std::string text = "Usage: " + doc.Name + " " + doc.Synopsis + "\n" + doc.HelpIntro;
  for (const TOptionDoc& option : doc.Options) AppendHelp(text, option.Synopsis, option.Help);
  return text + doc.HelpOutro;
}

bool ParseBatchOptions(int argc, const char* const* argv, TBatchOptions& o, std::string& error) {
  bool onlyPaths = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (onlyPaths || arg.empty() || arg[0] != '-' || arg == "-") {
      o.Paths.emplace_back(arg);
    } else if (arg == "--") {
      onlyPaths = true;
    } else if (!ReadOption(argc, argv, i, o, error)) {
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
  TProgramValues unused;
  for (const TSettingOverride& given : o.Settings) {
    if (std::holds_alternative<std::string TSettings::*>(given.Def->Field))
      s.*std::get<std::string TSettings::*>(given.Def->Field) = given.Text;
    else
      SetSettingNumber(*given.Def, given.Number, s, unused);
  }
}

}  // namespace imprimo
