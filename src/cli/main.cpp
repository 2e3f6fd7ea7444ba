// imprimo-batch: the batch run of the desktop program from a terminal, with
// the same settings file, templates, pipeline and run log.
#include <malloc.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/batch_run.h"
#include "app/image_list.h"
#include "app/naming.h"
#include "app/presets.h"
#include "app/settings.h"
#include "app/template_list.h"
#include "app/texts.h"
#include "cli/batch_options.h"
#include "cli/terminal_host.h"
#include "lang/language_file.h"
#include "lang/locale_language.h"
#include "platform/program_folder.h"
#include "platform/version.h"

namespace fs = std::filesystem;
using namespace imprimo;

namespace {

constexpr int kExitAllSucceeded = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitNotStarted = 2;

// A message of the string table with its place holders filled.
std::string T(TTextId id, std::initializer_list<std::string_view> args = {}) {
  return FormatText(Text(id), args);
}

void Error(const std::string& message) {
  std::fprintf(stderr, "imprimo-batch: %s\n", message.c_str());
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  std::string text = p.lexically_normal().string();
  // A folder given as "dir/" normalises to "dir/"; keep files without one.
  return text;
}

// Adds the paths of the --files-from list (read whole: a path may hold any
// byte but NUL with --null, or a newline); false when it cannot be read.
bool ReadFileList(TBatchOptions& options) {
  std::string text;
  std::FILE* f = *options.FilesFrom == "-" ? stdin : std::fopen(options.FilesFrom->c_str(), "rb");
  if (!f) {
    Error(T(TTextId::CliFileListUnreadable, {*options.FilesFrom}));
    return false;
  }
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
  const bool readError = std::ferror(f) != 0;
  if (f != stdin) std::fclose(f);
  if (readError) {
    Error(T(TTextId::CliFileListError, {*options.FilesFrom}));
    return false;
  }
  for (std::string& path : SplitFileList(text, options.NullSeparated))
    options.Paths.push_back(std::move(path));
  return true;
}

// The folders a run reads its settings and templates from.
struct TFolders {
  std::string Program;
  std::string Data;
};

std::optional<TFolders> FindFolders(const TBatchOptions& options) {
  TFolders folders;
  folders.Program = options.ProgramFolder.empty()
                        ? ExecutableFolder()
                        : WithTrailingSeparator(AbsolutePath(options.ProgramFolder));
  std::error_code ec;
  if (!fs::is_directory(folders.Program, ec)) {
    Error(T(TTextId::CliProgramFolderMissing, {folders.Program}));
    return std::nullopt;
  }
  folders.Data = folders.Program;
  try {
    folders.Data = ResolveDataFolder(folders.Program);
  } catch (const std::exception& e) {
    Error(T(TTextId::CliNoDataFolder, {folders.Program, e.what()}));
  }
  return folders;
}

// Setup.ini, then the preset, then the options typed; false after an error.
bool ReadRunSettings(const TBatchOptions& options, const std::string& dataFolder,
                     TSettings& settings, TProgramValues& values, std::string& templateChoice) {
  LoadSettings(dataFolder, settings, values);
  templateChoice = options.Template;
  if (options.Preset) {
    if (const std::string problem = PresetNameProblem(*options.Preset); !problem.empty()) {
      Error(problem);
      return false;
    }
    const std::optional<TPreset> preset = LoadPreset(dataFolder, *options.Preset, settings);
    if (!preset) {
      Error(T(TTextId::CliPresetMissing, {*options.Preset}));
      return false;
    }
    ApplyPreset(*preset, settings);
    if (templateChoice.empty()) templateChoice = preset->Template;
  }
  ApplyBatchOptions(options, settings);
  if (const std::string problem = OriginalsProblem(options, settings); !problem.empty()) {
    Error(problem);
    return false;
  }
  return true;
}

bool CheckRenamePattern(const TSettings& settings) {
  if (!settings.Rename || !RenamePatternHasSeparator(settings.RenameTpl)) return true;
  Error(T(TTextId::CliRenameSeparator, {settings.RenameTpl}));
  return false;
}

// The --out folder, made when it is missing (as mkdir -p: scripts name a
// folder to fill); false when it cannot be made.
bool PrepareOutputFolder(const TBatchOptions& options, TSettings& settings) {
  if (!options.OutFolder) return true;
  settings.OutPath = WithTrailingSeparator(AbsolutePath(*options.OutFolder));
  std::error_code ec;
  if (options.DryRun || fs::exists(settings.OutPath, ec)) return true;
  fs::create_directories(settings.OutPath, ec);
  if (!ec) return true;
  Error(T(TTextId::CliCannotCreateOutput, {settings.OutPath, ec.message()}));
  return false;
}

// Folders are searched and added one by one; loose files form one add whose
// first file's folder is noted, as the open dialog does.
void AddSourceRows(const TBatchOptions& options, TSettings& settings, TTerminalHost& host,
                   std::vector<std::string>& addedFolders) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const std::string& arg : options.Paths) {
    const std::string path = AbsolutePath(arg);
    if (!fs::is_directory(path, ec)) {
      if (files.empty()) NoteAddedFiles(addedFolders, settings, path);
      files.push_back(path);
      continue;
    }
    const std::string folder = WithTrailingSeparator(path);
    NoteAddedFolder(addedFolders, settings, folder);
    std::vector<std::string> found;
    // The run's own output folder is never searched, so reruns do not pick
    // up earlier outputs.
    FindBatchImageFiles(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder,
                        options.Filter, found, options.Recurse,
                        settings.PathType == 1 ? std::string() : settings.OutPath);
    if (found.empty() && !options.Quiet)
      Error(T(TTextId::CliNoMatchingFiles, {options.Filter, folder}));
    AddImages(host, found);
  }
  if (!files.empty()) AddImages(host, files);
}

// A shard keeps rows K, K+N, ... of the list every shard builds alike; each
// row keeps its index in the whole list for names and numbers.
std::vector<int64_t> KeepShard(const TBatchOptions& options, TTerminalHost& host) {
  std::vector<int> keep;
  for (int r = *options.ShardIndex; r < host.RowCount(); r += *options.ShardCount)
    keep.push_back(r);
  host.KeepRows(keep);
  return std::vector<int64_t>(keep.begin(), keep.end());
}

void PrintDryRun(const std::vector<TDryRunRow>& plan) {
  for (const TDryRunRow& row : plan) {
    if (row.Output.empty())
      std::printf("%s -> %s\n", row.Source.c_str(), T(TTextId::CliDryRunNotImage).c_str());
    else if (row.Output != row.Planned)
      std::printf("%s -> %s %s\n", row.Source.c_str(), row.Output.c_str(),
                  T(TTextId::CliDryRunTaken, {row.Planned}).c_str());
    else
      std::printf("%s -> %s\n", row.Source.c_str(), row.Output.c_str());
    for (const auto& [layer, text] : row.Layers)
      std::printf("    %s: %s\n", layer.c_str(), text.c_str());
  }
}

// The closing line: always after failures, warnings or a stop, else unless
// --quiet.
void PrintSummary(const TBatchOptions& options, const TRunSummary& summary) {
  if (!summary.LogError.empty()) Error(T(TTextId::CliLogNotSaved, {summary.LogError}));
  if (options.Quiet && summary.Failed == 0 && summary.Warned == 0 &&
      summary.Outcome == TRunOutcome::Finished)
    return;
  std::FILE* to = options.Quiet ? stderr : stdout;
  const auto n = [](int v) { return std::to_string(v); };
  std::string line = T(TTextId::CliSummary, {n(summary.Processed), n(summary.Rows),
                                             n(summary.Succeeded), n(summary.Failed)});
  if (summary.Warned > 0) line += T(TTextId::CliWarnedSummary, {n(summary.Warned)});
  if (summary.Outcome == TRunOutcome::Stopped)
    line += T(TTextId::CliStoppedSummary, {n(summary.Rows - summary.Processed)});
  std::fputs(line.c_str(), to);
  std::fputc('\n', to);
}

// Runs the batch the options describe and returns the exit status.
int RunCommand(const TBatchOptions& options) {
  const std::optional<TFolders> folders = FindFolders(options);
  if (!folders) return kExitNotStarted;
  if (options.ListPresets) {
    for (const std::string& name : ListPresets(folders->Data)) std::printf("%s\n", name.c_str());
    return kExitAllSucceeded;
  }
  TSettings settings;
  TProgramValues values;
  std::string templateChoice;
  if (!ReadRunSettings(options, folders->Data, settings, values, templateChoice) ||
      !PrepareOutputFolder(options, settings) || !CheckRenamePattern(settings))
    return kExitNotStarted;

  TTerminalHost host(options.Quiet, options.OutFolder ? *options.OutFolder : settings.OutPath);
  std::vector<std::string> addedFolders;
  AddSourceRows(options, settings, host, addedFolders);
  if (host.RowCount() == 0) {
    Error(T(TTextId::CliNothingToProcess));
    return kExitNotStarted;
  }
  // The panel's copy into the record: in place means the source folder.
  NormalizeOutputFolder(settings);
  std::vector<int64_t> rowIndexes;
  if (options.ShardCount) {
    rowIndexes = KeepShard(options, host);
    if (host.RowCount() == 0) {
      if (!options.Quiet)
        std::printf("%s\n", T(TTextId::CliShardEmpty, {std::to_string(*options.ShardIndex),
                                                       std::to_string(*options.ShardCount)})
                                .c_str());
      return kExitAllSucceeded;
    }
  }

  auto work = std::make_unique<TWorkingObjects>();
  TRunContext context{
      settings,
      values,
      folders->Program,
      folders->Data,
      addedFolders,
      ResolveTemplatePath(templateChoice, folders->Data + "Watermarks/", values.TplIndex),
      *work};
  context.Strict = options.Strict;
  context.ReplaceOriginals = options.ReplaceOriginals;
  context.Jobs = options.Jobs ? *options.Jobs : values.Jobs;
  context.RowIndexes = std::move(rowIndexes);

  if (options.DryRun) {
    std::vector<TDryRunRow> plan;
    if (!PlanBatchRun(context, host, plan)) return kExitNotStarted;
    PrintDryRun(plan);
    return kExitAllSucceeded;
  }
  // The header is printed when the run really starts, never before a
  // start-up error.
  if (!options.Quiet) {
    const std::string output =
        settings.PathType == 1 ? T(TTextId::CliBesideSources) : settings.OutPath;
    host.SetHeader(
        T(TTextId::CliRunHeader, {context.TemplatePath, std::to_string(host.RowCount()), output}) +
        "\n");
  }
  TTerminalHost::InstallInterruptHandler();
  const TRunSummary summary = RunBatch(context, host);
  if (options.SaveSettings) {
    try {
      SaveSettings(folders->Data, settings, values);
    } catch (const std::exception& e) {
      Error(T(TTextId::CliSettingsNotSaved, {e.what()}));
    }
  }
  if (summary.Outcome == TRunOutcome::NotStarted) return kExitNotStarted;
  PrintSummary(options, summary);
  const bool allDone = summary.Outcome == TRunOutcome::Finished && summary.Failed == 0;
  return allDone ? kExitAllSucceeded : kExitSomeFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // Every picture allocates and frees buffers of tens of megabytes. Served by
  // mmap, each one would come back as fresh pages the kernel must clear; kept
  // in the heap they are reused from image to image.
  // The workers share one heap: with an arena per thread each would keep its
  // own set of freed picture buffers (or get fresh pages for every picture).
  mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
  mallopt(M_ARENA_MAX, 1);
  // Messages in the user's language when the language file beside the
  // program has it.
  OpenLanguageFile(ExecutableFolder() + "imprimo.lcf", ProgramLanguageId());
  TBatchOptions options;
  std::string error;
  if (!ParseBatchOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "imprimo-batch: %s\n%s\n", error.c_str(), T(TTextId::CliTryHelp).c_str());
    return kExitNotStarted;
  }
  if (options.Help) {
    std::fputs(BatchUsageText().c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("imprimo-batch (Imprimo) %s\n", kProgramVersion);
    return 0;
  }
  if (options.FilesFrom && !ReadFileList(options)) return kExitNotStarted;
  if (options.Paths.empty() && !options.ListPresets) {
    std::fprintf(stderr, "imprimo-batch: %s\n%s\n", T(TTextId::CliNoImages).c_str(),
                 T(TTextId::CliTryHelp).c_str());
    return kExitNotStarted;
  }
  try {
    return RunCommand(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imprimo-batch: %s\n", e.what());
    return kExitNotStarted;
  }
}
