// Path pieces of "/"-separated UTF-8 paths, taken apart as text.
#pragma once

#include <string>
#include <string_view>

namespace imprimo {

// The folder part with its trailing "/"; empty when the path has no "/".
std::string FolderOf(std::string_view path);
// What follows the last "/" (the whole path without one).
std::string FileNameOf(std::string_view path);
// The extension of the name part from its last dot, the dot included, as
// written; empty when the name has no dot.
std::string ExtensionOf(std::string_view path);
// The folder with exactly one "/" appended when it does not end in one; an
// empty text becomes "/".
std::string WithTrailingSeparator(std::string_view folder);

}  // namespace imprimo
