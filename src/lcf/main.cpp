// imprimo-lcf: makes and reads language files.
//   imprimo-lcf build SOURCE... -o FILE.lcf   one language column per source language
//   imprimo-lcf dump FILE.lcf                 the file as a readable source
//   imprimo-lcf template [-o FILE]            the English source of every text
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifdef IMPRIMO_LCF_DESIGNER
#include "designer/designer_texts.h"
#include "designer/designer_window.h"
#endif
#include "gui/form_translation.h"
#include "gui/language_template.h"
#include "lang/lcf_file.h"
#include "platform/file_io.h"

namespace fs = std::filesystem;
using namespace imprimo;

namespace {

int Usage(const char* why = nullptr) {
  if (why) std::fprintf(stderr, "imprimo-lcf: %s\n", why);
  std::fprintf(why ? stderr : stdout,
               "Usage: imprimo-lcf build SOURCE... -o FILE.lcf\n"
               "       imprimo-lcf dump FILE.lcf\n"
               "       imprimo-lcf template [-o FILE]\n"
               "Sources are UTF-8 files: [Language] with Id= (and Name=), [Strings] with\n"
               "identifier=text lines and one [CLASS] section per window with address=text\n"
               "lines; texts take the escapes \\n \\r \\t \\s (a blank) and \\\\.\n");
  return why ? 2 : 0;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  try {
    WriteFileReplacing(path, bytes);
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imprimo-lcf: %s\n", e.what());
    return false;
  }
}

#ifdef IMPRIMO_LCF_DESIGNER
// The template editor's window, built in a scratch folder.
void AddDesignerTexts(TLanguageSource& english) {
  const fs::path scratch =
      fs::temp_directory_path() / ("imprimo-lcf-d" + std::to_string(::getpid()));
  fs::create_directories(scratch / "Watermarks");
  {
    TfrmDesigner designer(scratch.string() + "/");
    auto& items = english.Forms["TFRMDESIGNER"];
    for (const auto& [address, text] : WindowTexts(designer))
      items.emplace_back(address, std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                                                 size_t(text.size())));
  }
  // The texts it sets while it runs.
  size_t count = 0;
  const TDesignerText* ids = DesignerTextIds(count);
  for (size_t i = 0; i < count; ++i)
    english.Strings[static_cast<uint32_t>(ids[i])] = Utf8ToUtf16(EnglishDesignerText(ids[i]));
  std::error_code ec;
  fs::remove_all(scratch, ec);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h")
    return Usage(args.empty() ? "no command" : nullptr);
  const std::string command = args[0];
  args.erase(args.begin());
  std::string output;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) return Usage("-o needs a file name");
      output = args[i + 1];
      args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
      break;
    }
  }
  try {
    if (command == "build") {
      if (args.empty()) return Usage("no source file");
      if (output.empty()) return Usage("no output file (-o FILE.lcf)");
      std::vector<TLanguageSource> languages;
      for (const std::string& path : args) {
        std::string text;
        if (!ReadWhole(path, text)) {
          std::fprintf(stderr, "imprimo-lcf: cannot read %s\n", path.c_str());
          return 1;
        }
        try {
          for (TLanguageSource& l : ParseLanguageSources(text)) languages.push_back(std::move(l));
        } catch (const std::exception& e) {
          std::fprintf(stderr, "imprimo-lcf: %s: %s\n", path.c_str(), e.what());
          return 1;
        }
      }
      // One column per language; the same language twice is a mistake.
      ParseLanguageSources(WriteLanguageSources(languages));
      if (!WriteWhole(output, BuildLanguageModule(ContentFromSources(languages)))) {
        std::fprintf(stderr, "imprimo-lcf: cannot write %s\n", output.c_str());
        return 1;
      }
      return 0;
    }
    if (command == "dump") {
      if (args.size() != 1) return Usage("dump takes one file");
      std::string bytes;
      if (!ReadWhole(args[0], bytes)) {
        std::fprintf(stderr, "imprimo-lcf: cannot read %s\n", args[0].c_str());
        return 1;
      }
      std::string why;
      const auto content = ReadLanguageModule(std::move(bytes), &why);
      if (!content) {
        std::fprintf(stderr, "imprimo-lcf: %s: not a language file (%s)\n", args[0].c_str(),
                     why.c_str());
        return 1;
      }
      std::cout << WriteLanguageSources(SourcesFromContent(*content));
      return 0;
    }
    if (command == "template") {
      if (!args.empty()) return Usage("template takes no file but -o");
      qputenv("QT_QPA_PLATFORM",
              qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
      int qtArgc = 1;
      QApplication app(qtArgc, argv);
      TLanguageSource english = ProgramEnglishSource();
#ifdef IMPRIMO_LCF_DESIGNER
      AddDesignerTexts(english);
#endif
      const std::string text = WriteLanguageSources({english});
      if (output.empty()) {
        std::cout << text;
      } else if (!WriteWhole(output, text)) {
        std::fprintf(stderr, "imprimo-lcf: cannot write %s\n", output.c_str());
        return 1;
      }
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imprimo-lcf: %s\n", e.what());
    return 1;
  }
  return Usage(("unknown command " + command).c_str());
}
