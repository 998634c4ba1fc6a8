// The conversion of a version-0 record into the active version-1
// configuration: the migration's heart, kept apart from the program so
// that the fuzzer, the benchmark and the tests run it as the program does.
#pragma once

#include "legacy/legacy_config.h"

// Fills the active configuration from `record`, read from the file at
// `path` (as the user named it: it opens every message): 0 on success, -1
// after reporting why not.
int cfgmigrate_convert(const legacy_config *record, const char *path);

// A place of a version-1 document: section, entry element (null in the
// metadata section) and field.
struct cfgmigrate_place {
    const char *section;
    const char *entry;
    const char *field;
};

// Calls `fn` for each place where the conversion puts what the version-0
// element `element` (named as version 0 names it, letter case included)
// holds, in the conversion's order, and returns how many there are: 0 for
// a name that version 0 does not have.
unsigned int cfgmigrate_places(const char *element,
                               void (*fn)(const cfgmigrate_place *place, void *arg), void *arg);
