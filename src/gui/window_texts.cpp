#include "gui/window_texts.h"

#include <utility>

#include "lang/language_file.h"

namespace imprimo {

namespace {

constexpr std::pair<TWinText, const char*> kTexts[] = {
    {TWinText::PreviewFailed, "\"%1\" cannot be previewed:\n%2."},
    {TWinText::ThumbnailFailed, "%1\nCannot be shown: %2."},
    {TWinText::ReasonPrefix, "Cannot be previewed"},
    {TWinText::CloseDuringRun,
     "Processing is under way (%1 of %2 images done).\n\nStop after the pictures under way and "
     "close, or keep running?"},
    {TWinText::CloseStopButton, "Stop and Close"},
    {TWinText::CloseKeepButton, "Keep Running"},
    {TWinText::OutputNotCreatable, "The output folder %1 cannot be created: %2."},
    {TWinText::OutputNotWritable,
     "The output folder %1 is not writable. Choose another folder or change its permissions."},
    {TWinText::OutputLowSpace,
     "The output folder %1 has %2 free, but this batch needs about %3. Free some space or choose "
     "another folder."},
    {TWinText::RunNothingWritten, "No file was written."},
    {TWinText::ShowFailedQuestion, "%1 images failed. Show only the failed images?"},
    {TWinText::ShowFailedButton, "Show Failed"},
    {TWinText::ClearLogsQuestion, "Delete every entry of the run log?"},
    {TWinText::RemoveAllQuestion, "Remove all %1 images from the list?"},
    {TWinText::ProgressCounts, "%1 of %2 - %3 left"},
    {TWinText::ProgressCountsNoTime, "%1 of %2"},
    {TWinText::FailedOnlyFilter, "Show only failed images"},
    {TWinText::NoOpener, "No program is set up to open this. Copy the address:\n%1"},
    {TWinText::AddingFolder, "Searching folders: %1 pictures found"},
    {TWinText::AddingCancel, "Cancel"},
    {TWinText::NotificationFinished, "%1 succeeded, %2 failed."},
    {TWinText::NotificationTitle, "Imprimo: processing finished"},
    {TWinText::FitZoom, "Fit"},
    {TWinText::PresetChanged, "%1 (changed)"},
    {TWinText::ImagesTotal, "Images: %1"},
};

}  // namespace

const char* EnglishWinText(TWinText id) {
  for (const auto& [known, text] : kTexts)
    if (known == id) return text;
  return "";
}

void RegisterWindowTexts() {
  static const bool registered = [] {
    for (const auto& [id, text] : kTexts) RegisterBuiltinText(static_cast<uint32_t>(id), text);
    return true;
  }();
  (void)registered;
}

QString WinText(TWinText id) {
  RegisterWindowTexts();
  return QString::fromStdString(TranslatedText(static_cast<uint32_t>(id)));
}

}  // namespace imprimo
