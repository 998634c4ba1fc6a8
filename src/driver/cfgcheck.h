// The checker: reads version-1 configuration files exactly as the client
// does, and adds the checks the client's reader cannot make entry by entry.
#pragma once

// The whole run of the checker; returns the exit status.
int cfgcheck_main(int argc, char **argv);

// Reads the file at `path` into the emptied active configuration with the
// client's reader, then reports entry elements that fill one entry with a
// later one, and, when the read succeeded, stream references that name no
// entry; every message about the file goes through one channel (see
// log_input), which ends with "configuration accepted" (a notice) or
// "configuration refused". 0 when the file checks out, else -1.
// What was read stays active until the next call or cfg_exit.
int cfgcheck_file(const char *path);
