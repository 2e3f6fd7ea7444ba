#include "gui/language_template.h"

#include <unistd.h>

#include <QString>
#include <filesystem>
#include <string>

#include "app/settings.h"
#include "app/texts.h"
#include "gui/about_dialog.h"
#include "gui/fo_log.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/option_dialog.h"
#include "gui/sel_dir.h"
#include "gui/window_texts.h"
#include "lang/language_file.h"
#include "platform/text.h"
#include "runlog/run_log.h"

namespace imprimo {

namespace fs = std::filesystem;

TLanguageSource ProgramEnglishSource() {
  TLanguageSource english;
  english.LanguageId = 1033;
  english.Name = "English";
  const fs::path scratch =
      fs::temp_directory_path() / ("imprimo-lcf-" + std::to_string(::getpid()));
  fs::create_directories(scratch / "Watermarks");
  const std::string folder = scratch.string() + "/";
  const std::string languageFile = LanguageFilePathOfProgram();
  auto add = [&](const char* className, QWidget& window) {
    auto& items = english.Forms[UpperCaseUtf8(className)];
    for (const auto& [address, text] : WindowTexts(window))
      items.emplace_back(address, std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                                                 size_t(text.size())));
  };
  {
    TfrmMain main(folder, folder);  // points the windows at folder's (absent) language file
    add("TfrmMain", main);
  }
  {
    TSettings settings;
    TProgramValues values;
    TfrmOption option(folder, settings, values);
    add("TfrmOption", option);
  }
  {
    TfrmAbout about(folder);
    add("TfrmAbout", about);
  }
  {
    TfrmSelDir selDir(QString::fromStdString(folder));
    add("TfrmSelDir", selDir);
  }
  {
    RunLog log;
    TFoLog viewer(log);
    add("TFoLog", viewer);
  }
  RegisterProgramTexts();
  RegisterWindowTexts();
  for (const auto& [id, text] : BuiltinTextTable()) english.Strings[id] = Utf8ToUtf16(text);
  SetLanguageFilePath(languageFile);
  ReleaseLanguageFile();
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return english;
}

}  // namespace imprimo
