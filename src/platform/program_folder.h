// Where the program and its data live.
#pragma once

#include <string>

namespace imprimo {

// Folder of the running executable (/proc/self/exe), with a trailing "/".
std::string ExecutableFolder();

// Where Setup.ini, Log.dat and Watermarks/ live: programFolder when it is
// writable, else $XDG_CONFIG_HOME/imprimo/ (or ~/.config/imprimo/), created,
// with programFolder's Watermarks/ copied there on first use. Trailing "/".
std::string ResolveDataFolder(const std::string& programFolder);

}  // namespace imprimo
