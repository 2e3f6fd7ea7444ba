// Language files applied to Qt windows: a window's components are its named
// child widgets, actions and menus, and their text properties are reached by
// the names a language file's addresses use (Caption, Hint, Text, TextHint,
// Items(n).Text, Lines(n).Text, Tabs(n).Text, Columns<n>.Caption).
#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "app/texts.h"

class QWidget;

namespace imprimo {

// A text of the program's string table, for the windows.
QString UiText(TTextId id);

// The language file the windows open: by default "imprimo.lcf" in the
// executable's folder; the main window sets the one of its program folder.
void SetLanguageFilePath(std::string path);
std::string LanguageFilePathOfProgram();

// Opens the language file beside the program for the user's language, so
// that texts by identifier are translated from now on; 1 when it has it.
int OpenProgramLanguageFile();

// Opens the language file beside the program for the user's language and,
// when it has that language, applies its texts for className (e.g.
// "TfrmMain") to window. Returns the number of texts changed. Nothing is
// reported: a missing or damaged file leaves the designed texts.
int TranslateWindow(QWidget& window, const char* className);

// Applies the loaded language file (if any) to window without opening it
// again; for tests and for windows made while one is loaded.
int ApplyLoadedLanguage(QWidget& window, const char* className);

// Applies a language file's bytes for a language to window: the entry point
// of the fuzz target and of tests. The file is released afterwards.
int TranslateWindowFromBytes(QWidget& window, const char* className, std::string bytes,
                             int languageId);

// Every translatable text of window as an address and its current text, in
// a stable order: the window's caption, then its components by name. Combo
// boxes and lists marked with the dynamic property "imprimoUserItems" (their
// items are the user's data) are left out.
std::vector<std::pair<std::string, QString>> WindowTexts(QWidget& window);

// Marks a combo box or list whose items are the user's data, not texts.
void MarkUserItems(QWidget& widget);
// Marks a widget whose caption no language changes (a name, a number, an
// address, a text the program sets while it runs); left out of WindowTexts.
void MarkFixedText(QWidget& widget);

}  // namespace imprimo
