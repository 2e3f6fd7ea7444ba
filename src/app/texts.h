// The program's string table: every text it shows by identifier (messages,
// message-box captions, status texts, the log viewer's caption, the
// command's messages), English built in, replaced by a loaded language file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace imprimo {

enum class TTextId : uint32_t {
  // Message-box captions.
  CaptionError = 1000,
  CaptionQuestion = 1001,
  // The batch run.
  FoldersMustDiffer = 1010,
  FolderNotFound = 1011,  // %s: the folder
  RenameHasSeparator = 1012,
  TemplateNotFound = 1013,
  RunFinishedQuestion = 1014,
  ProgressCaption = 1015,  // %d: percent
  UnknownError = 1016,
  RunDiskFull = 1017,  // %s: the failed write
  ReplaceOriginalsQuestion = 1018,
  // The main window.
  StatusTemplateName = 1020,
  StatusFileName = 1021,
  StatusImageCount = 1022,  // %1: rows
  ChooseOutputFolder = 1023,
  DeleteTemplateQuestion = 1024,
  OpenOutputFolderQuestion = 1025,
  RunStoppedSummary = 1026,   // %1 done, %2 rows
  RunFinishedSummary = 1027,  // %1 rows
  RunCounts = 1028,           // %1 succeeded, %2 failed
  RowFailed = 1029,
  RowWarnings = 1030,
  EditorStartFailed = 1031,  // %1 code, %2 system message
  OpenImagesTitle = 1032,
  SelectFolderTitle = 1033,
  // The log viewer.
  LogViewerCaption = 1040,
  LogSaveCaption = 1041,
  NoPrinter = 1042,
  // The about box.
  VersionCaption = 1050,  // %1: version
  // Named presets.
  PresetNameEmpty = 1060,
  PresetNameInvalid = 1061,  // %1 name
  PresetSaveTitle = 1062,
  PresetNamePrompt = 1063,
  PresetReplaceQuestion = 1064,  // %1 name
  PresetDeleteQuestion = 1065,   // %1 name
  PresetSaveFailed = 1066,       // %1 reason
  SettingsUnreadable = 1067,     // %1 file
  // imprimo-batch ("%s" and "%d" filled in turn).
  CliTryHelp = 2000,
  CliNoImages = 2001,
  CliProgramFolderMissing = 2002,  // %s folder
  CliNoDataFolder = 2003,          // %s folder, %s reason
  CliRenameSeparator = 2004,       // %s pattern
  CliNoMatchingFiles = 2005,       // %s masks, %s folder
  CliNothingToProcess = 2006,
  CliRunHeader = 2007,  // %s template, %d images, %s output
  CliBesideSources = 2008,
  CliSettingsNotSaved = 2009,  // %s reason
  CliLogNotSaved = 2010,       // %s reason
  CliSummary = 2011,           // %d processed, %d rows, %d succeeded, %d failed
  CliWarnedSummary = 2012,     // %d images
  CliStoppedSummary = 2013,    // %d images
  CliStopping = 2014,
  CliAddingImages = 2015,
  CliFileListUnreadable = 2016,  // %s file
  CliFileListError = 2017,       // %s file
  CliCannotCreateOutput = 2018,  // %s folder, %s reason
  CliShardEmpty = 2019,          // %d shard, %d count
  CliPresetMissing = 2020,       // %s name
  CliDryRunNotImage = 2021,
  CliDryRunTaken = 2022,  // %s planned path
  // imprimo-batch's option errors.
  CliOptWholeNumber = 2100,  // %s option, %s low, %s high, %s given
  CliOptColour = 2101,       // %s option, %s given
  CliOptNoValue = 2102,      // %s option
  CliOptNeedsValue = 2103,   // %s option
  CliOptTiffCompression = 2104,
  CliOptOutFolder = 2105,
  CliOptFormat = 2106,  // %s given
  CliOptBorder = 2107,  // %s given
  CliOptCase = 2108,    // %s given
  CliOptFilesFrom = 2109,
  CliOptShard = 2110,  // %s given
  CliOptFilter = 2111,
  CliOptUnknown = 2112,  // %s option
  CliOptOutInPlace = 2113,
  CliOptInPlaceOverwrite = 2114,
  CliOptResize = 2115,           // %s given
  CliOptJpegSubsampling = 2116,  // %s given
};

// The text for id: the loaded language file's, else the English one.
std::string Text(TTextId id);
// The built-in English text.
const char* EnglishText(TTextId id);
// Fills a text's place holders without trusting it as a format: "%s" and
// "%d" take the arguments in turn, "%1".."%9" by number, "%%" is "%";
// anything else stays as written.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);
// Puts every English text into the program's string table (done by the
// first Text call; the language tool calls it to list them).
void RegisterProgramTexts();

}  // namespace imprimo
