// Watermark template files: an INI document whose sections are the layers,
// read one section at a time into a TMarkItem.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ini/ini_document.h"
#include "render/mark_item.h"
#include "render/text_variables.h"

namespace imprimo {

// Reads the template whole into memory. A path that names no file gives an
// empty document; nothing is ever written back.
IniDocument OpenTemplateFile(const std::string& path);

// Fills every field of item from the section (defaults for missing or
// malformed keys). False only when reading was interrupted by a failure; the
// fields read so far keep their new values.
bool ReadMarkItem(const IniDocument& document, std::u16string_view section, TMarkItem& item);
// The same, adding a line to warnings when the text had to be cut to
// kMaxLayerTextChars characters (CutLayerText).
bool ReadMarkItem(const IniDocument& document, std::u16string_view section, TMarkItem& item,
                  std::vector<std::string>* warnings);

// item as ReadMarkItem reads it back once WriteMarkItem has written it:
// strings as a template line holds them (TemplateLineValue), Desc, Picture
// and Texture cut to 255 characters (the two file names to their file name
// part) and the text cut as when read, with the same line in warnings.
TMarkItem StoredMarkItem(TMarkItem item, std::vector<std::string>* warnings = nullptr);

// Writes item into the section (created at the end when missing) as
// ReadMarkItem reads it back: the keys a layer of its kind uses, and every
// other key whose value differs from its default or that the section holds
// already. Colours are written as "0x" hexadecimal, other numbers in decimal.
// Keys the section holds that are not template keys stay as they are.
// Values that cannot be read back as they are (line breaks, blanks at the
// end of a string) lose those characters.
void WriteMarkItem(IniDocument& document, std::u16string_view section, const TMarkItem& item);

// A string value as it reads back from a template line: line breaks become
// blanks and blanks and control characters at the end are dropped.
std::u16string TemplateLineValue(std::u16string_view value);

// Cuts UTF-8 text to at most maxChars characters without splitting one.
std::string CutToChars(std::string_view text, size_t maxChars);

// The file name part of a path written with "\", "/" or a drive "X:".
std::string FileNamePart(std::string_view path);

}  // namespace imprimo
