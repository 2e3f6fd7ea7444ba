// Text variables of text layers: "{$" + letter + code + "}" replaced per image
// by the sequence number (S), the date and time (D), the file name (F) or an
// EXIF value (E).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/date_format.h"
#include "platform/text.h"

namespace imprimo {

class TimgData;

// The EXIF values offered to text variables; " - " where absent.
struct TExifSummary {
  std::string DateTime = " - ";     // at most 20 characters
  std::string CameraMake = " - ";   // at most 32 characters
  std::string CameraModel = " - ";  // at most 40 characters
  int32_t Width = 0;
  int32_t Height = 0;
  std::string ExposureTime = " - ";
  std::string FocalLength = " - ";
  std::string FNumber = " - ";
  std::string ISOSpeedRatings = " - ";
};

// Refills every field from the reader's state for the file it processed last.
void FillExifSummary(TExifSummary& summary, const TimgData& reader);

// The text before the last "."; empty when there is none.
std::u16string FileNameWithoutExtension(std::u16string_view name);

using TClock = std::function<TDateTime()>;

// Replaces every variable of the text. The date variables read the clock
// (the local time unless one is given) and set the process-wide date and
// time separators.
std::u16string ExpandTextVariables(std::u16string_view text, std::u16string_view fileName,
                                   int32_t sequence, TExifSummary summary);
std::u16string ExpandTextVariables(std::u16string_view text, std::u16string_view fileName,
                                   int32_t sequence, TExifSummary summary, const TClock& clock);

// The clock the first overload (and the text layers) read; an empty clock
// restores the local time.
void SetTextVariableClock(TClock clock);

// A layer's text is cut to this many characters when the template is read
// and again once its variables are filled in, so that a runaway value costs
// bounded time and memory.
constexpr size_t kMaxLayerTextChars = 65536;
// Cuts text to kMaxLayerTextChars characters (a surrogate pair is one)
// without splitting one; true when it was longer.
bool CutLayerText(std::u16string& text);

}  // namespace imprimo
