// The command lines of Imprimo's programs described once: what each option
// is called, what value it takes and what it does. The programs' --help, the
// man pages, the shell completions and the manual's option list are all
// written from these descriptions.
#pragma once

#include <string>
#include <vector>

namespace imprimo {

// What an option's value is, for completing it in a shell.
enum class TValueKind {
  None,    // no value
  Text,    // free text or a number
  File,    // a file name
  Folder,  // a folder name
  Words,   // one of Words
  Preset,  // a preset name, listed by "imprimo-batch --list-presets"
};

struct TOptionDoc {
  // Every spelling: the main one first, then its negative form ("--no-x")
  // and short aliases.
  std::vector<std::string> Names;
  std::string Synopsis;  // as --help shows it: "--out DIR", "-h, --help"
  std::string Help;      // lines after the first are continuation lines
  TValueKind Value = TValueKind::None;
  std::vector<std::string> Words;
  bool Shown = true;  // false: accepted but not listed in --help
};

struct TProgramDoc {
  std::string Name;      // "imprimo-batch"
  std::string Summary;   // one line, for the man page's NAME
  std::string Synopsis;  // after the name: "[options] PATH..."
  // The --help lines between the usage line and the options.
  std::string HelpIntro;
  // The man page's description, paragraphs separated by blank lines.
  std::string Description;
  std::vector<TOptionDoc> Options;
  TValueKind Operands = TValueKind::File;  // what the plain arguments are
  std::string OperandPattern;              // shell pattern of operand files, "" any
  std::string HelpOutro;                   // --help lines after the options
  std::string ExitStatus;                  // man page, one status a line: "0 text"
  std::string Files;                       // man page, one "path text" a line
  std::vector<std::string> SeeAlso;
};

// The desktop program and the template editor.
const TProgramDoc& ImprimoProgramDoc();
const TProgramDoc& DesignerProgramDoc();

// The --help text of a program: the usage line, the intro, the options in a
// column and the outro.
std::string ProgramUsageText(const TProgramDoc& doc);

// True when name is one of the program's option spellings.
bool IsProgramOption(const TProgramDoc& doc, const std::string& name);

}  // namespace imprimo
