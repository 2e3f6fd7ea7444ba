// The man page, the shell completions and the manual's option list of a
// program, written from its option descriptions, so none of them can drift
// from what the program accepts.
#pragma once

#include <string>
#include <string_view>

#include "app/program_usage.h"

namespace imprimo {

// A man page (section 1) in the man macros; date as YYYY-MM-DD.
std::string ManPage(const TProgramDoc& doc, std::string_view version, std::string_view date);

// Completion scripts: bash (for bash-completion's completions/ folder or
// `source`), zsh (a #compdef function file) and fish (vendor_completions.d).
std::string BashCompletion(const TProgramDoc& doc);
std::string ZshCompletion(const TProgramDoc& doc);
std::string FishCompletion(const TProgramDoc& doc);

// text with &, < and > written as HTML entities.
std::string HtmlEscape(std::string_view text);

// page with the content of its <pre id="usage"> element replaced by usage;
// empty when the page has no such element.
std::string FillUsageBlock(std::string_view page, std::string_view usage);

}  // namespace imprimo
