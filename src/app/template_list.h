// The template library: the .wg files of the Watermarks folder, listed and
// resolved alike by the window and the batch command.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

struct TTemplateEntry {
  std::string Name;      // the file name without its ".wg", as the list shows it
  std::string FileName;  // the file's own name, extension in its own letter case
};

// True for a name ending in ".wg" in any letter case, with something before it.
bool HasTemplateExtension(std::string_view fileName);

// The templates of watermarkFolder: regular files whose extension is ".wg" in
// any letter case, hidden files and sub-folders left out. Sorted by name as
// the user reads it (without regard to case), so that a stored index names
// the same template whatever order the folder gives.
std::vector<TTemplateEntry> ListTemplates(const std::string& watermarkFolder);

// The template a run uses. An empty choice takes entry tplIndex, which is
// first brought into the list (0 when it is outside); with no templates the
// result is empty. A choice holding "/", or ending in ".wg" and naming an
// existing file, is that file (made absolute). Any other choice is a name of
// the list, with or without its ".wg": the entry's own file, and tplIndex
// becomes its index; a name the list lacks gives the path such a template
// would have, which does not exist.
std::string ResolveTemplatePath(const std::string& choice, const std::string& watermarkFolder,
                                int32_t& tplIndex);

}  // namespace imprimo
