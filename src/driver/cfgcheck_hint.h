// The checker's hints: for a problem of a file, what to write instead, in
// one line. Each function gives the hint's text (without path, line or
// the word "hint"), or an empty text when it knows none.
#pragma once

#include <span>
#include <string>

#include "cfg/cfg_read_facts.h"

// The name in `known` (small letters) that `name` most likely misspells:
// the one closest to it, at most one edit away for a name of up to four
// letters and two for a longer one (an edit adds, drops or changes one
// letter, or swaps two neighbours), where letter case and '-' for '_' cost
// nothing. Null when none is that close, when two are equally close, and
// for a name longer than any known one could be misspelt as.
const char *cfgcheck_hint_spelling(const char *name, std::span<const char *const> known);

// For an element or entity reference the reader passed over.
std::string cfgcheck_hint_passed_over(const cfg_document_passed_over &what);

// For a refused setting whose field takes a number: the range it takes.
std::string cfgcheck_hint_number(const cfg_document_refusal &what);
