// Texts the windows set while they run (the preview's and thumbnails'
// messages, run questions, notifications), kept in the program's string
// table beside the engine's texts so that a language file translates them.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

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
  // Why a file did not load or save (the engine's reasons, in words).
  ReasonMissing = 3040,
  ReasonFolder = 3041,
  ReasonNotRegular = 3042,
  ReasonEmpty = 3043,
  ReasonNoPermission = 3044,
  ReasonUnknownFormat = 3045,
  ReasonDamagedFormat = 3046,  // %1 format
  ReasonDamaged = 3047,        // %1 the decoder's words
  ReasonCannotStore = 3048,
  ReasonNoReadBack = 3049,
};

// The text for id: the loaded language file's, else the English one.
QString WinText(TWinText id);
// A reason the engine gave (a file that does not load or save) in the
// user's language; a reason it does not know stays as given.
QString ReasonText(const std::string& reason);
// The built-in English text.
const char* EnglishWinText(TWinText id);
// Puts the window texts into the program's string table (the language tool
// lists them with the engine's).
void RegisterWindowTexts();

}  // namespace imprimo
