#include "gui/window_texts.h"

#include <QRegularExpression>
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
    {TWinText::ReasonMissing, "the file does not exist"},
    {TWinText::ReasonFolder, "the path is a folder, not an image file"},
    {TWinText::ReasonNotRegular, "not a regular file"},
    {TWinText::ReasonEmpty, "the file is empty"},
    {TWinText::ReasonNoPermission, "the file cannot be read (permission denied)"},
    {TWinText::ReasonUnknownFormat, "not an image file of a known format"},
    {TWinText::ReasonDamagedFormat, "the %1 file is damaged or incomplete"},
    {TWinText::ReasonDamaged, "the file is damaged or incomplete (%1)"},
    {TWinText::ReasonCannotStore, "the output format cannot store this picture"},
    {TWinText::ReasonNoReadBack, "the saved picture could not be read back"},
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

QString ReasonText(const std::string& reason) {
  // The fixed reasons are the English texts themselves.
  for (const TWinText id :
       {TWinText::ReasonMissing, TWinText::ReasonFolder, TWinText::ReasonNotRegular,
        TWinText::ReasonEmpty, TWinText::ReasonNoPermission, TWinText::ReasonUnknownFormat,
        TWinText::ReasonCannotStore, TWinText::ReasonNoReadBack})
    if (reason == EnglishWinText(id)) return WinText(id);
  const QString text = QString::fromStdString(reason);
  static const QRegularExpression damagedFormat(
      QStringLiteral("^the (\\S+) file is damaged or incomplete$"));
  static const QRegularExpression damaged(
      QStringLiteral("^the file is damaged or incomplete \\((.*)\\)$"),
      QRegularExpression::DotMatchesEverythingOption);
  if (const auto m = damagedFormat.match(text); m.hasMatch())
    return WinText(TWinText::ReasonDamagedFormat).arg(m.captured(1));
  if (const auto m = damaged.match(text); m.hasMatch())
    return WinText(TWinText::ReasonDamaged).arg(m.captured(1));
  return text;
}

QString WinText(TWinText id) {
  RegisterWindowTexts();
  return QString::fromStdString(TranslatedText(static_cast<uint32_t>(id)));
}

}  // namespace imprimo
