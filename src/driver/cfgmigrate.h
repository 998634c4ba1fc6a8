// The migration tool: command line, the run, and the conversion of a
// version-0 record into the active version-1 configuration.
#pragma once

#include "legacy/legacy_config.h"

// The whole run of the tool; returns the exit status.
int cfgmigrate_main(int argc, char **argv);

// The version-0 path as the user gave it (null before the command line
// was read); it opens every message of the conversion.
const char *cfgmigrate_input_path(void);
void cfgmigrate_set_input_path(const char *path);

// Fills the active configuration from `record`: 0 on success, -1 after
// reporting why not.
int cfgmigrate_convert(const legacy_config *record);
