// The English source of every translatable text of the program: read off
// its windows as they are built, and its string table.
#pragma once

#include "lang/lcf_file.h"

namespace imprimo {

// Needs a QApplication. Builds each window once in a scratch folder, with
// no language file applied.
TLanguageSource ProgramEnglishSource();

}  // namespace imprimo
