// The conversion of a version-0 record into the active version-1
// configuration: the migration's heart, kept apart from the program so
// that the fuzzer, the benchmark and the tests run it as the program does.
#pragma once

#include "legacy/legacy_config.h"

// Fills the active configuration from `record`, read from the file at
// `path` (as the user named it: it opens every message): 0 on success, -1
// after reporting why not.
int cfgmigrate_convert(const legacy_config *record, const char *path);

