#include "app/texts.h"

#include <utility>

#include "app/batch_run.h"
#include "lang/language_file.h"

namespace imprimo {

namespace {

constexpr std::pair<TTextId, const char*> kTexts[] = {
    {TTextId::CaptionError, "Error"},
    {TTextId::CaptionQuestion, "Question"},
    {TTextId::FoldersMustDiffer, kTextFoldersMustDiffer},
    {TTextId::FolderNotFound, kTextFolderNotFound},
    {TTextId::RenameHasSeparator, kTextRenameHasSeparator},
    {TTextId::TemplateNotFound, kTextTemplateNotFound},
    {TTextId::RunFinishedQuestion, kTextRunFinishedQuestion},
    {TTextId::ProgressCaption, kTextProgressCaption},
    {TTextId::UnknownError, "Unknown error."},
    {TTextId::RunDiskFull,
     "The run was stopped because the disk is full: %s. The images left were not processed; "
     "free some space and run them again."},
    {TTextId::ReplaceOriginalsQuestion,
     "The outputs are saved beside their sources and existing files are overwritten, so the "
     "original pictures will be replaced by their marked copies.\r\nReplace the originals?"},
    {TTextId::StatusTemplateName, "Template name: "},
    {TTextId::StatusFileName, "File name: "},
    {TTextId::StatusImageCount, "The images totaled %1."},
    {TTextId::ChooseOutputFolder, "Please select an output folder:"},
    {TTextId::DeleteTemplateQuestion, "Are you sure you want to delete it?"},
    {TTextId::OpenOutputFolderQuestion, "Do you want to open the output folder? "},
    {TTextId::RunStoppedSummary, "Processing stopped after %1 of %2 images: "},
    {TTextId::RunFinishedSummary, "Processing finished! %1 images: "},
    {TTextId::RunCounts, "%1 succeeded, %2 failed."},
    {TTextId::RowFailed, "Failed: "},
    {TTextId::RowWarnings, "Warnings:"},
    {TTextId::EditorStartFailed, "System Error.  Code: %1.\r\n%2"},
    {TTextId::OpenImagesTitle, "Open Images"},
    {TTextId::SelectFolderTitle, "Select a Folder"},
    {TTextId::LogViewerCaption, "Show Logs"},
    {TTextId::LogSaveCaption, "Save"},
    {TTextId::NoPrinter, "No printer is available. Set up a default printer and try again."},
    {TTextId::VersionCaption, "Version %1"},
    {TTextId::PresetNameEmpty, "A preset needs a name."},
    {TTextId::PresetNameInvalid,
     "The preset name \"%1\" may not contain \"]\", \"=\" or line breaks."},
    {TTextId::PresetSaveTitle, "Save Preset"},
    {TTextId::PresetNamePrompt, "Name of the preset:"},
    {TTextId::PresetReplaceQuestion, "A preset named \"%1\" exists. Replace it?"},
    {TTextId::PresetDeleteQuestion, "Delete the preset \"%1\"?"},
    {TTextId::PresetSaveFailed, "The preset could not be saved: %1"},
    {TTextId::SettingsUnreadable, "Cannot read settings file \"%1\""},
    {TTextId::CliTryHelp, "Try 'imprimo-batch --help' for more information."},
    {TTextId::CliNoImages, "no images given"},
    {TTextId::CliProgramFolderMissing, "the program folder %s does not exist"},
    {TTextId::CliNoDataFolder, "no writable data folder, using %s: %s"},
    {TTextId::CliRenameSeparator,
     "the rename pattern %s may not contain a path separator (\"/\" or \"\\\"): outputs stay in "
     "the output folder"},
    {TTextId::CliNoMatchingFiles, "no files matching %s in %s"},
    {TTextId::CliNothingToProcess, "no images to process"},
    {TTextId::CliRunHeader, "Template %s, %d image(s), output %s"},
    {TTextId::CliBesideSources, "beside each source"},
    {TTextId::CliSettingsNotSaved, "could not save the settings: %s"},
    {TTextId::CliLogNotSaved, "the run log could not be saved: %s"},
    {TTextId::CliSummary, "Processed %d of %d image(s): %d succeeded, %d failed."},
    {TTextId::CliWarnedSummary,
     " %d image(s) with warnings (marks not drawn or metadata left out)."},
    {TTextId::CliStoppedSummary, " Stopped; %d image(s) not processed."},
    {TTextId::CliStopping, "Stopping after the current image (Ctrl+C again to abort)..."},
    {TTextId::CliAddingImages, "adding images"},
    {TTextId::CliFileListUnreadable, "cannot read the file list %s"},
    {TTextId::CliFileListError, "error reading the file list %s"},
    {TTextId::CliCannotCreateOutput, "cannot create the output folder %s: %s"},
    {TTextId::CliShardEmpty, "Shard %d/%d has no rows."},
    {TTextId::CliPresetMissing, "no preset named %s (imprimo-batch --list-presets lists them)"},
    {TTextId::CliDryRunNotImage, "(not an image that loads; the row would fail)"},
    {TTextId::CliDryRunTaken, "(%s is taken)"},
    {TTextId::CliOptWholeNumber, "option %s takes a whole number from %s to %s, not \"%s\""},
    {TTextId::CliOptColour, "option %s takes RRGGBB in hexadecimal, not \"%s\""},
    {TTextId::CliOptNoValue, "option %s takes no value"},
    {TTextId::CliOptNeedsValue, "option %s needs a value"},
    {TTextId::CliOptTiffCompression, "option --tiff-compression takes lzw or deflate, not \"%s\""},
    {TTextId::CliOptOutFolder, "option --out needs a folder"},
    {TTextId::CliOptFormat,
     "unknown output format \"%s\" (jpg png bmp mng jng gif dds tga pgm ppm pam pfm jp2 psd cif "
     "img webp avif tif)"},
    {TTextId::CliOptBorder, "option --border takes four widths TOP,RIGHT,BOTTOM,LEFT, not \"%s\""},
    {TTextId::CliOptCase, "option --case takes upper, lower or keep, not \"%s\""},
    {TTextId::CliOptFilesFrom, "option --files-from needs a file (or - for standard input)"},
    {TTextId::CliOptShard, "option --shard takes K/N with 0 <= K < N, e.g. 0/4, not \"%s\""},
    {TTextId::CliOptFilter, "option --filter needs a mask such as *.jpg"},
    {TTextId::CliOptUnknown, "unknown option %s"},
    {TTextId::CliOptOutInPlace, "options --out and --in-place exclude each other"},
    {TTextId::CliOptInPlaceOverwrite,
     "--in-place with --overwrite would replace the source pictures with their marked copies; "
     "add --replace-originals to do that, or leave out --overwrite (or use --out)"},
    {TTextId::CliOptResize, "option --resize takes WIDTHxHEIGHT, e.g. 1024x768, not \"%s\""},
    {TTextId::CliOptJpegSubsampling, "option --jpeg-subsampling takes 420, 422 or 444, not \"%s\""},
};

}  // namespace

const char* EnglishText(TTextId id) {
  for (const auto& [known, text] : kTexts)
    if (known == id) return text;
  return "";
}

void RegisterProgramTexts() {
  static const bool registered = [] {
    for (const auto& [id, text] : kTexts) RegisterBuiltinText(static_cast<uint32_t>(id), text);
    return true;
  }();
  (void)registered;
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 == pattern.size()) {
      out.push_back(c);
      continue;
    }
    const char k = pattern[i + 1];
    if (k == '%') {
      out.push_back('%');
    } else if ((k == 's' || k == 'd') && next < args.size()) {
      out += *(args.begin() + next++);
    } else if (k >= '1' && k <= '9' && size_t(k - '1') < args.size()) {
      out += *(args.begin() + (k - '1'));
    } else {
      out.push_back(c);
      continue;
    }
    ++i;
  }
  return out;
}

std::string Text(TTextId id) {
  RegisterProgramTexts();
  return TranslatedText(static_cast<uint32_t>(id));
}

}  // namespace imprimo
