// The man pages, shell completions and the manual's option list written
// from the option descriptions.
#include "cli/option_docs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/texts.h"
#include "cli/batch_options.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; its standard output, or "<failed>" when it did not
// exit with 0.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, got);
    if (pclose(pipe) != 0) return "<failed>";
  }
  return out;
}

TEST(OptionDocs, EveryDescribedSpellingIsOneTheParserKnows) {
  for (const TOptionDoc& option : BatchOptionDocs()) {
    ASSERT_FALSE(option.Names.empty()) << option.Synopsis;
    for (const std::string& name : option.Names) {
      const char* argv[] = {"imprimo-batch", name.c_str(), "1", "x.jpg"};
      TBatchOptions parsed;
      std::string error;
      ParseBatchOptions(4, argv, parsed, error);
      EXPECT_NE(error, FormatText(Text(TTextId::CliOptUnknown), {name})) << name;
    }
  }
}

// The option names the bash completion offers after "-".
bool InBashWords(const std::string& script, const std::string& name) {
  const size_t from = script.find("== -* ]]");
  const size_t end = script.find("\n    return", from);
  const std::string list = script.substr(from, end - from);
  return list.find("\n" + name + "\n") != std::string::npos ||
         list.find("\n" + name + "'") != std::string::npos ||
         list.find("'" + name + "\n") != std::string::npos;
}

TEST(OptionDocs, ManPageAndCompletionsNameEveryOptionOfTheHelp) {
  const TProgramDoc doc = BatchProgramDoc();
  const std::string man = ManPage(doc, "1.2.3", "2026-01-02");
  const std::string bash = BashCompletion(doc), zsh = ZshCompletion(doc),
                    fish = FishCompletion(doc);
  EXPECT_NE(man.find(".TH \"IMPRIMO-BATCH\" \"1\" \"2026-01-02\" \"Imprimo 1.2.3\""),
            std::string::npos);
  // Every option line of --help, by its first spelling.
  std::istringstream help(BatchUsageText());
  int seen = 0;
  for (std::string line; std::getline(help, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    const std::string name = line.substr(2, line.find_first_of(" ,", 2) - 2);
    ++seen;
    std::string roff;
    for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(man.find("\\fB" + roff + "\\fR"), std::string::npos) << name;
    EXPECT_TRUE(InBashWords(bash, name)) << name;
    EXPECT_TRUE(zsh.find("'" + name + "[") != std::string::npos ||
                zsh.find("'" + name + "=[") != std::string::npos)
        << name;
    EXPECT_NE(fish.find(" -l " + name.substr(2)), std::string::npos) << name;
  }
  EXPECT_GT(seen, 30);
  // Negative forms and the short aliases complete too.
  for (const char* extra : {"--no-keep-exif", "-j", "-q", "--version"})
    EXPECT_TRUE(InBashWords(bash, extra)) << extra;
}

// A description with every character a shell or roff treats specially.
TProgramDoc AwkwardDoc(const fs::path& marker) {
  TProgramDoc doc;
  doc.Name = "awkward-prog";
  doc.Summary = "a test";
  doc.Synopsis = "[OPTION] FILE";
  doc.Description = ".starts with a dot\n\nback\\slash and 'quote";
  const std::string nasty =
      "it's [a] \"b\" $(touch " + marker.string() + ") `touch " + marker.string() + "` \\ ; | &";
  doc.Options = {
      {.Names = {"--mode"},
       .Synopsis = "--mode M",
       .Help = nasty,
       .Value = TValueKind::Words,
       .Words = {"fast", "slow"}},
      {.Names = {"--quiet", "-q"}, .Synopsis = "-q, --quiet", .Help = ".leading dot\n'quote"},
  };
  return doc;
}

TEST(OptionDocs, SpecialCharactersInDescriptionsAreQuoted) {
  const fs::path dir = fs::temp_directory_path() / ("option-docs-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path marker = dir / "ran";
  const TProgramDoc doc = AwkwardDoc(marker);

  const std::string man = ManPage(doc, "1", "2026-01-01");
  EXPECT_NE(man.find("\n\\&.starts with a dot\n"), std::string::npos);
  EXPECT_NE(man.find("back\\eslash"), std::string::npos);
  EXPECT_NE(man.find("\n\\&.leading dot 'quote\n"), std::string::npos);
  EXPECT_EQ(man.find("\n'"), std::string::npos);

  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  };
  const std::string bash = write("bash", BashCompletion(doc));
  const std::string zsh = write("_awkward-prog", ZshCompletion(doc));
  const std::string fish = write("fish", FishCompletion(doc));
  if (Have("bash")) {
    EXPECT_EQ(Output("bash -c 'source " + bash +
                     " && COMP_WORDS=(awkward-prog --mode s) COMP_CWORD=2 && _awkward_prog && "
                     "printf \"%s\\n\" \"${COMPREPLY[@]}\"'"),
              "slow\n");
    EXPECT_EQ(Output("bash -c 'source " + bash +
                     " && COMP_WORDS=(awkward-prog -) COMP_CWORD=1 && _awkward_prog && "
                     "printf \"%s\\n\" \"${COMPREPLY[@]}\"'"),
              "--mode\n--quiet\n-q\n");
  }
  if (Have("zsh")) EXPECT_EQ(Output("zsh -n " + zsh + " && echo ok"), "ok\n");
  if (Have("fish")) {
    const std::string got =
        Output("fish -c 'source " + fish + "; complete -C\"awkward-prog --m\"'");
    EXPECT_EQ(got.substr(0, got.find('\t')), "--mode");
    EXPECT_NE(got.find("it's [a] \"b\""), std::string::npos) << got;
  }
  EXPECT_FALSE(fs::exists(marker)) << "a description ran as a command";
  fs::remove_all(dir);
}

TEST(OptionDocs, UsageBlockIsFilledInEscaped) {
  const std::string page = "<p>x</p>\n<pre id=\"usage\">\nold text\n</pre>\n<p>after</p>\n";
  EXPECT_EQ(FillUsageBlock(page, "a <b> & c\n"),
            "<p>x</p>\n<pre id=\"usage\">\na &lt;b&gt; &amp; c\n</pre>\n<p>after</p>\n");
  EXPECT_EQ(FillUsageBlock("<pre>no id</pre>", "x"), "");
  EXPECT_EQ(FillUsageBlock("<pre id=\"usage\">never closed", "x"), "");
}

TEST(OptionDocs, WindowProgramsHelpIsAlignedInOneColumn) {
  for (const TProgramDoc* doc : {&ImprimoProgramDoc(), &DesignerProgramDoc()}) {
    const std::string text = ProgramUsageText(*doc);
    EXPECT_EQ(text.rfind("Usage: " + doc->Name + " ", 0), 0u);
    size_t column = 0;
    for (const TOptionDoc& option : doc->Options) {
      const size_t at = text.find(option.Help);
      ASSERT_NE(at, std::string::npos) << option.Synopsis;
      const size_t lineStart = text.rfind('\n', at) + 1;
      if (column == 0) column = at - lineStart;
      EXPECT_EQ(at - lineStart, column) << option.Synopsis;
      EXPECT_TRUE(IsProgramOption(*doc, option.Names.front()));
    }
    EXPECT_FALSE(IsProgramOption(*doc, "--frobnicate"));
  }
}

}  // namespace
}  // namespace imprimo
