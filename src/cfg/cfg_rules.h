// Rules over a document read with facts (cfg_read_facts) and the active
// configuration it filled: what the client takes without a word, yet not
// as the document's writer meant it. A rule gives findings; saying them is
// its caller's business.
#pragma once

#include <string>
#include <vector>

#include "cfg/cfg_read_facts.h"

// The key under which the rules compare an entry's name: "default" for
// none, folded as the lists compare names, and cut one byte past what a
// message shows of a value. A name compares with it once folded alike
// (cfg_list::fold_name).
std::string cfg_rules_entry_key(const cfg_document_entry &entry);

// Every entry element starts from the entry named "default", which a
// "name" field then renames. An element without a name (or named
// "default") therefore hands its entry on to the next element of its
// kind: the later one overwrites its fields or renames it, and the entry
// the administrator wrote is gone.
struct cfg_merge_finding {
    long line;           // of the element whose entry is handed on
    const char *section; // of the registry, as cfg_document_entry names them
    const char *entry;
    // The name of the entry it ends up in, as written: one text of the
    // facts however many merge into it, which may be megabytes long.
    const char *into;
    long into_line; // of the element that settled that name
};

// In document order of the elements handed on.
std::vector<cfg_merge_finding> cfg_rules_merges(const cfg_read_facts &facts);

// An entry names entries of other kinds (a stream its intake, server and
// encoder); a name that matches no entry of that kind would leave the
// client without it at run time. An unset reference is no problem. Names
// are resolved as the client resolves them, by the lists' own lookups.
struct cfg_reference_finding {
    // Of the element that gave the entry its final name, so that the
    // finding points at the entry as written; 0 for none.
    long line;
    const char *entry;      // the entry kind's element
    // Both borrowed from the active configuration, until it changes.
    const char *entry_name; // as the configuration holds it
    const char *field;      // the reference's element
    const char *name;       // the name that matches no entry
};

// Over the active configuration, which is complete only after a read that
// succeeded: kinds in the registry's order, entries in their lists' order,
// references in their fields' order.
std::vector<cfg_reference_finding> cfg_rules_references(const cfg_read_facts &facts);
