#include "render/text_variables.h"

#include "exif/exif_reader.h"
#include "platform/text.h"

namespace imprimo {

namespace {
TClock& GlobalClock() {
  static TClock clock;
  return clock;
}

bool IsCodeChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u':' || c == u'-' || c == u'/' || c == u' ' || c == u'\t' || c == u'\r' ||
         c == u'\n' || c == u'\f' || c == u'\v';
}

bool IsLetterChar(char16_t c) {
  return c == u'S' || c == u'D' || c == u'F' || c == u'E' || c == u'|';
}

struct Match {
  size_t begin = 0, end = 0;  // the whole variable [begin, end)
  char16_t letter = 0;
  std::u16string_view code;
};

// Leftmost match of {\$([S|D|F|E])([a-zA-Z:\s\d\-\/]+)} at or after `from`.
bool FindVariable(std::u16string_view t, size_t from, Match& m) {
  for (size_t i = t.find(u"{$", from); i != std::u16string_view::npos; i = t.find(u"{$", i + 1)) {
    size_t j = i + 2;
    if (j >= t.size() || !IsLetterChar(t[j])) continue;
    size_t k = j + 1;
    while (k < t.size() && IsCodeChar(t[k])) ++k;
    if (k == j + 1 || k >= t.size() || t[k] != u'}') continue;
    m.begin = i;
    m.end = k + 1;
    m.letter = t[j];
    m.code = t.substr(j + 1, k - j - 1);
    return true;
  }
  return false;
}

void ReplaceFirst(std::u16string& w, std::u16string_view what, std::u16string_view with) {
  size_t p = w.find(what);
  if (p != std::u16string::npos) w.replace(p, what.size(), with);
}

void ReplaceAll(std::u16string& w, std::u16string_view what, std::u16string_view with) {
  std::u16string out;
  size_t pos = 0;
  for (size_t p = w.find(what); p != std::u16string::npos; p = w.find(what, pos)) {
    out.append(w, pos, p - pos);
    out.append(with);
    pos = p + what.size();
  }
  if (pos == 0) return;
  out.append(w, pos, std::u16string::npos);
  w = std::move(out);
}

std::u16string Cp437(const std::string& s) { return CodePageToWide(s, 437); }
}  // namespace

void SetTextVariableClock(TClock clock) { GlobalClock() = std::move(clock); }

std::u16string FileNameWithoutExtension(std::u16string_view name) {
  size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return {};
  return std::u16string(name.substr(0, dot));
}

void FillExifSummary(TExifSummary& s, const TimgData& reader) {
  s = TExifSummary{};
  if (!reader.HasExifBlock()) return;
  s.DateTime = Utf8Prefix(reader.DateTime(), 20);
  s.CameraMake = Utf8Prefix(reader.CameraMake(), 32);
  s.CameraModel = Utf8Prefix(reader.CameraModel(), 40);
  s.Width = reader.Width();
  s.Height = reader.Height();
  auto tag = [&](const char* name) {
    std::string v = reader.TagValueByName(name);
    return v.empty() ? std::string(" - ") : v;
  };
  s.ExposureTime = tag("ExposureTime");
  s.FocalLength = tag("FocalLength");
  s.FNumber = tag("FNumber");
  s.ISOSpeedRatings = tag("ISOSpeedRatings");
}

std::u16string ExpandTextVariables(std::u16string_view text, std::u16string_view fileName,
                                   int32_t sequence, TExifSummary summary) {
  return ExpandTextVariables(text, fileName, sequence, std::move(summary), GlobalClock());
}

std::u16string ExpandTextVariables(std::u16string_view text, std::u16string_view fileName,
                                   int32_t sequence, TExifSummary summary, const TClock& clock) {
  std::u16string w(text);
  Match m;
  for (size_t from = 0; FindVariable(text, from, m); from = m.end) {
    std::u16string_view whole = text.substr(m.begin, m.end - m.begin);
    const std::u16string_view code = m.code;
    switch (m.letter) {
      case u'S':
        ReplaceAll(w, whole, Cp437(std::to_string(sequence)));
        break;
      case u'D': {
        std::string pattern = Utf16ToUtf8(code);
        if (pattern.find('-') != std::string::npos) SetDateSeparator("-");
        if (pattern.find('/') != std::string::npos) SetDateSeparator("/");
        SetTimeSeparator(":");
        TDateTime now = clock ? clock() : NowLocal();
        ReplaceFirst(w, whole, CodePageToWide(FormatDateTime(pattern, now), 0));
        break;
      }
      case u'F': {
        std::u16string r;
        if (code == u"U")
          r = UpperCase(FileNameWithoutExtension(fileName));
        else if (code == u"EU")
          r = UpperCase(fileName);
        else if (code == u"L")
          r = LowerCase(FileNameWithoutExtension(fileName));
        else
          r = LowerCase(fileName);
        ReplaceFirst(w, whole, r);
        break;
      }
      case u'E': {
        std::u16string r;
        if (code == u"P")
          r = Cp437(summary.DateTime);
        else if (code == u"M")
          r = Cp437(summary.CameraMake) + u"(" + Cp437(summary.CameraModel) + u")";
        else if (code == u"D")
          r = Cp437(std::to_string(summary.Width)) + u" x " + Cp437(std::to_string(summary.Height));
        else if (code == u"E")
          r = Cp437(summary.ExposureTime);
        else if (code == u"L")
          r = Cp437(summary.FocalLength);
        else if (code == u"F")
          r = Cp437(summary.FNumber);
        else if (code == u"I")
          r = Cp437(summary.ISOSpeedRatings);
        else
          break;  // unknown code: the variable stays as written
        ReplaceFirst(w, whole, r);
        break;
      }
      default:
        break;  // "|" matches the letter class but names no variable
    }
  }
  return w;
}

bool CutLayerText(std::u16string& text) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // A trailing surrogate belongs to the character before it.
    if (text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800 &&
        text[i - 1] <= 0xDBFF)
      continue;
    if (chars == kMaxLayerTextChars) {
      text.resize(i);
      return true;
    }
    ++chars;
  }
  return false;
}

}  // namespace imprimo
