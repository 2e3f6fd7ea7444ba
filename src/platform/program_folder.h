// Where the program and its data live.
#pragma once

#include <string>

namespace imprimo {

// Folder of the running executable (/proc/self/exe), with a trailing "/".
std::string ExecutableFolder();

// Name of the file an install puts into the program folder. Such a folder is
// used read-only whoever runs the program, root included.
inline constexpr const char* kInstalledMarkerName = "installed.txt";

// Where Setup.ini, Log.dat and Watermarks/ live: programFolder when it is
// writable and not an installed one, else $XDG_CONFIG_HOME/imprimo/ (or
// ~/.config/imprimo/), created. There the templates shipped in programFolder's
// Watermarks/ are copied beside the user's own: all of them on first use, later
// only those not offered before, so a new shipped template appears while one
// the user deleted or changed stays as the user left it. Trailing "/".
std::string ResolveDataFolder(const std::string& programFolder);

}  // namespace imprimo
