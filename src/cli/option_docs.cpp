#include "cli/option_docs.h"

#include <algorithm>

namespace imprimo {

namespace {

// The help text on one line: continuation lines joined with blanks.
std::string OneLine(std::string_view text) {
  std::string line;
  for (char c : text) line += c == '\n' ? ' ' : c;
  return line;
}

// Text for a roff line: backslashes and minus signs escaped, and a line
// that would start with a control character guarded.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// A synopsis in bold (option names) and italics (their values).
std::string RoffSynopsis(std::string_view synopsis) {
  std::string out;
  size_t start = synopsis.find_first_not_of(' ');
  while (start != std::string_view::npos) {
    const size_t end = std::min(synopsis.find(' ', start), synopsis.size());
    std::string_view word = synopsis.substr(start, end - start);
    const bool comma = word.ends_with(',');
    if (comma) word.remove_suffix(1);
    if (!out.empty()) out += ' ';
    out += (word.starts_with('-') ? "\\fB" : "\\fI") + Roff(word) + "\\fR";
    if (comma) out += ',';
    start = synopsis.find_first_not_of(' ', end);
  }
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Calls f(first word, rest) for every line "word text".
template <typename F>
void ForEachEntry(std::string_view lines, F&& f) {
  while (!lines.empty()) {
    const size_t end = std::min(lines.find('\n'), lines.size());
    const std::string_view line = lines.substr(0, end);
    const size_t blank = std::min(line.find(' '), line.size());
    if (!line.empty()) f(line.substr(0, blank), line.substr(std::min(blank + 1, line.size())));
    lines.remove_prefix(std::min(end + 1, lines.size()));
  }
}

// text between single quotes for a POSIX shell.
std::string ShellQuoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string Joined(const std::vector<std::string>& words, std::string_view separator) {
  std::string out;
  for (const std::string& w : words) {
    if (!out.empty()) out += separator;
    out += w;
  }
  return out;
}

// A shell identifier made from a program name.
std::string FunctionName(std::string_view program) {
  std::string name = "_";
  for (char c : program) name += (c == '-' ? '_' : c);
  return name;
}

}  // namespace

std::string ManPage(const TProgramDoc& doc, std::string_view version, std::string_view date) {
  std::string page = ".\\\" Written from the program's option descriptions; do not edit.\n";
  page += ".TH \"" + Upper(doc.Name) + "\" \"1\" \"" + std::string(date) + "\" \"Imprimo " +
          std::string(version) + "\" \"User Commands\"\n";
  page += ".SH NAME\n" + Roff(doc.Name) + " \\- " + Roff(doc.Summary) + "\n";
  page += ".SH SYNOPSIS\n.B " + Roff(doc.Name) + "\n" + Roff(doc.Synopsis) + "\n";
  page += ".SH DESCRIPTION\n";
  std::string_view description = doc.Description;
  for (bool first = true; !description.empty(); first = false) {
    const size_t end = std::min(description.find("\n\n"), description.size());
    if (!first) page += ".PP\n";
    page += Roff(OneLine(description.substr(0, end))) + "\n";
    description.remove_prefix(std::min(end + 2, description.size()));
  }
  page += ".SH OPTIONS\n";
  for (const TOptionDoc& option : doc.Options) {
    if (!option.Shown) continue;
    page += ".TP\n" + RoffSynopsis(option.Synopsis) + "\n";
    if (!option.Help.empty()) page += Roff(OneLine(option.Help)) + "\n";
  }
  if (!doc.ExitStatus.empty()) {
    page += ".SH \"EXIT STATUS\"\n";
    ForEachEntry(doc.ExitStatus, [&](std::string_view code, std::string_view text) {
      page += ".TP\n.B " + Roff(code) + "\n" + Roff(text) + "\n";
    });
  }
  if (!doc.Files.empty()) {
    page += ".SH FILES\n";
    ForEachEntry(doc.Files, [&](std::string_view path, std::string_view text) {
      page += ".TP\n.I " + Roff(path) + "\n" + Roff(text) + "\n";
    });
  }
  if (!doc.SeeAlso.empty()) {
    page += ".SH \"SEE ALSO\"\n";
    for (size_t i = 0; i < doc.SeeAlso.size(); ++i) {
      const std::string& ref = doc.SeeAlso[i];
      const size_t paren = std::min(ref.find('('), ref.size());
      page += ".BR " + Roff(ref.substr(0, paren)) + " " + ref.substr(paren) +
              (i + 1 < doc.SeeAlso.size() ? ",\n" : "\n");
    }
  }
  return page;
}

std::string BashCompletion(const TProgramDoc& doc) {
  const std::string function = FunctionName(doc.Name);
  std::vector<std::string> names;
  for (const TOptionDoc& option : doc.Options)
    names.insert(names.end(), option.Names.begin(), option.Names.end());
  std::string s = "# bash completion for " + doc.Name +
                  ", written from its option descriptions; do not edit.\n";
  s += function + "() {\n";
  s += "  local cur=\"${COMP_WORDS[COMP_CWORD]}\"\n";
  s += "  local prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n";
  s += "  local IFS=$'\\n'\n";
  s += "  COMPREPLY=()\n";
  s += "  case \"$prev\" in\n";
  for (const TOptionDoc& option : doc.Options) {
    if (option.Value == TValueKind::None) continue;
    s += "    " + Joined(option.Names, "|") + ")\n      ";
    switch (option.Value) {
      case TValueKind::File:
        s += "compopt -o filenames 2>/dev/null\n      COMPREPLY=($(compgen -f -- \"$cur\"))";
        break;
      case TValueKind::Folder:
        s += "compopt -o filenames 2>/dev/null\n      COMPREPLY=($(compgen -d -- \"$cur\"))";
        break;
      case TValueKind::Words:
        s +=
            "COMPREPLY=($(compgen -W " + ShellQuoted(Joined(option.Words, "\n")) + " -- \"$cur\"))";
        break;
      case TValueKind::Preset:
        // Names may hold blanks: one a line, quoted like file names.
        s += "compopt -o filenames 2>/dev/null\n      COMPREPLY=($(compgen -W "
             "\"$(\"${COMP_WORDS[0]}\" "
             "--list-presets 2>/dev/null)\" -- \"$cur\"))";
        break;
      case TValueKind::Text:
      case TValueKind::None:
        break;
    }
    s += "\n      return ;;\n";
  }
  s += "  esac\n";
  s += "  if [[ \"$cur\" == -* ]]; then\n";
  s += "    COMPREPLY=($(compgen -W " + ShellQuoted(Joined(names, "\n")) + " -- \"$cur\"))\n";
  s += "    return\n";
  s += "  fi\n";
  s += "  compopt -o filenames 2>/dev/null\n";
  if (doc.OperandPattern.empty()) {
    s += "  COMPREPLY=($(compgen -f -- \"$cur\"))\n";
  } else {
    s += "  COMPREPLY=($(compgen -d -- \"$cur\") $(compgen -f -X " +
         ShellQuoted("!" + doc.OperandPattern) + " -- \"$cur\"))\n";
  }
  s += "}\n";
  s += "complete -F " + function + " " + doc.Name + "\n";
  return s;
}

namespace {

// A description inside one zsh _arguments entry, which is itself single-quoted.
std::string ZshDescription(std::string_view help) {
  std::string out;
  for (char c : OneLine(help)) {
    if (c == '[' || c == ']' || c == '\\') out += '\\';
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string ZshCompletion(const TProgramDoc& doc) {
  const std::string presets = FunctionName(doc.Name) + "_presets";
  std::string s = "#compdef " + doc.Name + "\n";
  s +=
      "# zsh completion for " + doc.Name + ", written from its option descriptions; do not edit.\n";
  bool needPresets = false;
  for (const TOptionDoc& option : doc.Options) needPresets |= option.Value == TValueKind::Preset;
  if (needPresets) {
    s += presets + "() {\n";
    s += "  local -a names\n";
    s += "  names=(${(f)\"$(" + doc.Name + " --list-presets 2>/dev/null)\"})\n";
    s += "  compadd -a names\n";
    s += "}\n";
  }
  s += "_arguments -S";
  for (const TOptionDoc& option : doc.Options) {
    const std::string description = ZshDescription(option.Help);
    for (const std::string& name : option.Names) {
      const bool longName = name.starts_with("--");
      std::string entry = name;
      std::string action;
      switch (option.Value) {
        case TValueKind::None:
          break;
        case TValueKind::Text:
          action = ":value: ";
          break;
        case TValueKind::File:
          action = ":file:_files";
          break;
        case TValueKind::Folder:
          action = ":folder:_files -/";
          break;
        case TValueKind::Words:
          action = ":value:(" + Joined(option.Words, " ") + ")";
          break;
        case TValueKind::Preset:
          action = ":preset:" + presets;
          break;
      }
      // Long options take their value as "--x=V" or as the next word.
      if (!action.empty() && longName) entry += "=";
      s += " \\\n  '" + entry + "[" + description + "]" + action + "'";
    }
  }
  if (doc.OperandPattern.empty())
    s += " \\\n  '*:file or folder:_files'\n";
  else
    s += " \\\n  '*:file:_files -g \"" + doc.OperandPattern + "\"'\n";
  return s;
}

std::string FishCompletion(const TProgramDoc& doc) {
  std::string s = "# fish completion for " + doc.Name +
                  ", written from its option descriptions; do not edit.\n";
  const std::string head = "complete -c " + doc.Name;
  if (!doc.OperandPattern.empty())
    s += head + " -k -x -a " +
         ShellQuoted("(__fish_complete_suffix " + doc.OperandPattern.substr(1) + ")") + "\n";
  for (const TOptionDoc& option : doc.Options) {
    std::string line = head;
    for (const std::string& name : option.Names) {
      if (name.starts_with("--"))
        line += " -l " + name.substr(2);
      else if (name.size() == 2)
        line += " -s " + name.substr(1);
    }
    switch (option.Value) {
      case TValueKind::None:
        break;
      case TValueKind::Text:
        line += " -x";
        break;
      case TValueKind::File:
        line += " -r -F";
        break;
      case TValueKind::Folder:
        line += " -x -a '(__fish_complete_directories (commandline -ct))'";
        break;
      case TValueKind::Words:
        line += " -x -a " + ShellQuoted(Joined(option.Words, " "));
        break;
      case TValueKind::Preset:
        line += " -x -a " + ShellQuoted("(" + doc.Name + " --list-presets 2>/dev/null)");
        break;
    }
    if (!option.Help.empty()) line += " -d " + ShellQuoted(OneLine(option.Help));
    s += line + "\n";
  }
  return s;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

std::string FillUsageBlock(std::string_view page, std::string_view usage) {
  constexpr std::string_view kOpen = "<pre id=\"usage\">";
  const size_t open = page.find(kOpen);
  if (open == std::string_view::npos) return std::string();
  const size_t body = open + kOpen.size();
  const size_t close = page.find("</pre>", body);
  if (close == std::string_view::npos) return std::string();
  return std::string(page.substr(0, body)) + "\n" + HtmlEscape(usage) +
         std::string(page.substr(close));
}

}  // namespace imprimo
