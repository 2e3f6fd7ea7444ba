// Command-line options of imprimo-batch and how they override the settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_usage.h"
#include "app/setting_table.h"
#include "app/settings.h"

namespace imprimo {

// A setting given on the command line: a number (bools 0/1) or a text.
struct TSettingOverride {
  const TSettingDef* Def;
  int64_t Number = 0;
  std::string Text;
};

struct TBatchOptions {
  std::string ProgramFolder;          // empty: the executable's folder
  std::string Template;               // empty: the template list's selected entry
  std::optional<std::string> Preset;  // --preset: applied before the other options
  bool ListPresets = false;
  std::optional<std::string> OutFolder;  // --out as typed
  bool InPlace = false;
  // The settings the options set, in the order they were typed (a later
  // one wins).
  std::vector<TSettingOverride> Settings;
  // Outputs beside their sources may replace the sources (--replace-originals).
  bool ReplaceOriginals = false;
  std::string Filter = "*.*";
  bool Recurse = true;
  bool SaveSettings = false;
  bool Quiet = false;
  bool Strict = false;  // rows whose marks were not all drawn fail
  bool Help = false;
  bool Version = false;
  std::optional<int> Jobs;                    // --jobs; 0 = one per core
  std::optional<std::string> FilesFrom;       // --files-from FILE ("-" standard input)
  bool NullSeparated = false;                 // --null: the list is NUL-separated
  std::optional<int> ShardIndex, ShardCount;  // --shard K/N, 0 <= K < N
  bool DryRun = false;
  std::vector<std::string> Paths;
};

// Parses argv[1..]; false with a message in error for a usage error.
bool ParseBatchOptions(int argc, const char* const* argv, TBatchOptions& options,
                       std::string& error);

// Applies the options that override Setup.ini (everything but the paths and
// the folders).
void ApplyBatchOptions(const TBatchOptions& options, TSettings& settings);

// The usage error of effective settings that would replace the source
// pictures (outputs beside them, overwriting) without --replace-originals;
// empty when there is none.
std::string OriginalsProblem(const TBatchOptions& options, const TSettings& settings);

// The --help text: every option of the command, those that set a setting
// described by the setting table.
std::string BatchUsageText();

// Every option listed by --help, described for the man page and the shell
// completions; and the whole command.
std::vector<TOptionDoc> BatchOptionDocs();
TProgramDoc BatchProgramDoc();

// Splits a --files-from list: one path per line ("\r\n" accepted), or
// NUL-separated; empty entries are skipped.
std::vector<std::string> SplitFileList(std::string_view text, bool nullSeparated);

}  // namespace imprimo
