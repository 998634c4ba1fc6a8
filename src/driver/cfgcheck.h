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
//
// The file is opened once, without waiting, and all that follows is done
// on what was opened: anything but a regular file is refused at once
// ("PATH: not a regular file (KIND)"); then the client's check of its mode,
// a warning for a file its group may write to, and, after any mode
// problem, "PATH: hint: chmod MODE PATH" (a notice).
int cfgcheck_file(const char *path);

// cfgcheck_file for the document on standard input, named `name` in every
// message: read to its end, but refused past its first 64 MiB ("NAME:
// longer than N bytes"); no file mode is checked.
int cfgcheck_stdin(const char *name);
