// Writes the man pages, the shell completions and the manual's option list
// from the programs' option descriptions:
//   make_docs <out folder> <date YYYY-MM-DD> <command-line.html> <filled page>
// <out folder>/man/<program>.1, <out folder>/bash/<program>,
// <out folder>/zsh/_<program>, <out folder>/fish/<program>.fish.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "cli/batch_options.h"
#include "cli/option_docs.h"
#include "platform/version.h"

namespace fs = std::filesystem;
using namespace imprimo;

namespace {

bool Write(const fs::path& path, const std::string& text) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (file) return true;
  std::fprintf(stderr, "make_docs: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: make_docs <out folder> <date> <command-line.html> <filled page>\n");
    return 2;
  }
  const fs::path out = argv[1];
  const std::string date = argv[2];
  bool ok = true;
  for (const TProgramDoc& doc : {ImprimoProgramDoc(), BatchProgramDoc(), DesignerProgramDoc()}) {
    ok &= Write(out / "man" / (doc.Name + ".1"), ManPage(doc, kProgramVersion, date));
    ok &= Write(out / "bash" / doc.Name, BashCompletion(doc));
    ok &= Write(out / "zsh" / ("_" + doc.Name), ZshCompletion(doc));
    ok &= Write(out / "fish" / (doc.Name + ".fish"), FishCompletion(doc));
  }
  std::ifstream source(argv[3], std::ios::binary);
  const std::string page((std::istreambuf_iterator<char>(source)),
                         std::istreambuf_iterator<char>());
  const std::string filled = FillUsageBlock(page, BatchUsageText());
  if (filled.empty()) {
    std::fprintf(stderr, "make_docs: %s has no <pre id=\"usage\"> block\n", argv[3]);
    return 1;
  }
  ok &= Write(argv[4], filled);
  return ok ? 0 : 1;
}
