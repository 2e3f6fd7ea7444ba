#include "app/program_usage.h"

#include <algorithm>

namespace imprimo {

namespace {

const char* const kSettingsFiles =
    "~/.config/imprimo/Setup.ini the settings, the presets and the template choice\n"
    "~/.config/imprimo/Log.dat the run log\n"
    "~/.config/imprimo/Watermarks/ your own templates (.wg), listed beside the shipped ones\n";

TProgramDoc MakeImprimoDoc() {
  TProgramDoc doc;
  doc.Name = "imprimo";
  doc.Summary = "watermark, resize, rename and convert pictures in batches";
  doc.Synopsis = "[OPTION] [FILE|FOLDER]...";
  doc.HelpIntro =
      "Watermarks, resizes, renames and converts pictures in batches.\n"
      "\n"
      "Files and folders given are added to the image list at start; a folder\n"
      "adds the pictures in it and in its sub-folders.\n"
      "\n";
  doc.Description =
      "imprimo is the desktop program of Imprimo. It lists pictures, puts a watermark "
      "template (text and picture layers) on each, optionally resizes them and draws a "
      "border, renames them by a pattern and saves them in the chosen format, with their "
      "camera metadata and colour profiles carried over.\n"
      "\n"
      "Files and folders given on the command line are added to the image list at start; a "
      "folder adds the pictures in it and in its sub-folders.";
  doc.Options = {
      {.Names = {"--help", "-h"}, .Synopsis = "-h, --help", .Help = "show this help and quit"},
      {.Names = {"--version", "-V"},
       .Synopsis = "-V, --version",
       .Help = "show the version and quit"},
      {.Names = {"--list-templates"},
       .Synopsis = "    --list-templates",
       .Help = "print the names of the watermark templates and quit"},
  };
  doc.HelpOutro = "\nThe same job without a window: imprimo-batch --help.\n";
  doc.ExitStatus = "0 the window was closed, or the answer was printed\n2 a bad option\n";
  doc.Files = kSettingsFiles;
  doc.SeeAlso = {"imprimo-batch(1)", "MarkDesigner(1)"};
  return doc;
}

TProgramDoc MakeDesignerDoc() {
  TProgramDoc doc;
  doc.Name = "MarkDesigner";
  doc.Summary = "edit the watermark templates of Imprimo";
  doc.Synopsis = "[OPTION] [TEMPLATE.wg]";
  doc.HelpIntro =
      "Edits watermark templates: text and picture layers drawn over a sample photo.\n"
      "\n"
      "Without a template a new one is started.\n"
      "\n";
  doc.Description =
      "MarkDesigner edits the watermark templates (.wg files) that imprimo and "
      "imprimo-batch put on pictures: text and picture layers with their fonts, effects and "
      "places, drawn live over a sample photo.\n"
      "\n"
      "With a template file it opens that template; without one a new template is started.";
  doc.Options = {
      {.Names = {"--help", "-h"}, .Synopsis = "-h, --help", .Help = "show this help and quit"},
      {.Names = {"--version", "-V"},
       .Synopsis = "-V, --version",
       .Help = "show the version and quit"},
  };
  doc.OperandPattern = "*.wg";
  doc.ExitStatus = "0 the window was closed, or the answer was printed\n2 a bad option\n";
  doc.Files = "~/.config/imprimo/Watermarks/ your own templates, listed by imprimo\n";
  doc.SeeAlso = {"imprimo(1)", "imprimo-batch(1)"};
  return doc;
}

}  // namespace

const TProgramDoc& ImprimoProgramDoc() {
  static const TProgramDoc doc = MakeImprimoDoc();
  return doc;
}

const TProgramDoc& DesignerProgramDoc() {
  static const TProgramDoc doc = MakeDesignerDoc();
  return doc;
}

std::string ProgramUsageText(const TProgramDoc& doc) {
  std::string text = "Usage: " + doc.Name + " " + doc.Synopsis + "\n" + doc.HelpIntro;
  size_t column = 0;
  for (const TOptionDoc& option : doc.Options)
    if (option.Shown) column = std::max(column, option.Synopsis.size());
  for (const TOptionDoc& option : doc.Options) {
    if (!option.Shown) continue;
    text += "  " + option.Synopsis;
    text.append(column + 2 - option.Synopsis.size(), ' ');
    text += option.Help + "\n";
  }
  return text + doc.HelpOutro;
}

bool IsProgramOption(const TProgramDoc& doc, const std::string& name) {
  for (const TOptionDoc& option : doc.Options)
    if (std::find(option.Names.begin(), option.Names.end(), name) != option.Names.end())
      return true;
  return false;
}

}  // namespace imprimo
