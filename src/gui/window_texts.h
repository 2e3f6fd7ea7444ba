// Texts the windows set while they run (the preview's and thumbnails'
// messages, run questions, notifications), kept in the program's string
// table beside the engine's texts so that a language file translates them.
#pragma once

#include <QString>
#include <cstdint>

namespace imprimo {

enum class TWinText : uint32_t {
  PreviewFailed = 3000,    // %1 file name, %2 reason
  ThumbnailFailed = 3001,  // %1 path, %2 reason
  ReasonPrefix = 3002,     // the line before a reason: "Cannot be previewed:"
  CloseDuringRun = 3010,   // %1 done, %2 rows
  CloseStopButton = 3011,
  CloseKeepButton = 3012,
  OutputNotCreatable = 3013,  // %1 folder, %2 reason
  OutputNotWritable = 3014,   // %1 folder
  OutputLowSpace = 3015,      // %1 folder, %2 free, %3 needed
  RunNothingWritten = 3016,
  ShowFailedQuestion = 3017,  // %1 failed rows
  ShowFailedButton = 3018,
  ClearLogsQuestion = 3019,
  RemoveAllQuestion = 3020,     // %1 rows
  ProgressCounts = 3021,        // %1 done, %2 rows, %3 time left
  ProgressCountsNoTime = 3022,  // %1 done, %2 rows
  FailedOnlyFilter = 3023,
  NoOpener = 3024,      // %1 address or path
  AddingFolder = 3025,  // %1 files found
  AddingCancel = 3026,
  NotificationFinished = 3027,  // %1 succeeded, %2 failed
  NotificationTitle = 3028,
  FitZoom = 3029,
  PresetChanged = 3030,  // %1 preset name
  ImagesTotal = 3031,    // %1 rows
};

// The text for id: the loaded language file's, else the English one.
QString WinText(TWinText id);
// The built-in English text.
const char* EnglishWinText(TWinText id);
// Puts the window texts into the program's string table (the language tool
// lists them with the engine's).
void RegisterWindowTexts();

}  // namespace imprimo
