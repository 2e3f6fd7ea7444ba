// Watermark template files: an INI document whose sections are the layers,
// read one section at a time into a TMarkItem.
#pragma once

#include <string>
#include <string_view>

#include "ini/ini_document.h"
#include "render/mark_item.h"

namespace imprimo {

// Reads the template whole into memory. A path that names no file gives an
// empty document; nothing is ever written back.
IniDocument OpenTemplateFile(const std::string& path);

// Fills every field of item from the section (defaults for missing or
// malformed keys). False only when reading was interrupted by a failure; the
// fields read so far keep their new values.
bool ReadMarkItem(const IniDocument& document, std::u16string_view section, TMarkItem& item);

// Cuts UTF-8 text to at most maxChars characters without splitting one.
std::string CutToChars(std::string_view text, size_t maxChars);

// The file name part of a path written with "\", "/" or a drive "X:".
std::string FileNamePart(std::string_view path);

}  // namespace imprimo
