// A configuration file opened once and examined once, and what the client
// and the checker make of its mode. The file whose mode is judged is the
// one that is read: a look at the path, then an open of it, could judge one
// file and read another put in its place meanwhile.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "support/fd.h"

// How the client opens its file: never as the process's terminal.
inline constexpr int kCfgFileOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY;

// What one open and one fstat of a path found.
struct cfg_file {
    fd_guard fd;           // closed when the open failed
    bool examined = false; // whether the fstat succeeded
    int error = 0;         // errno of the open or of the fstat that failed
    mode_t mode = 0;       // type and permissions, once examined

    bool regular() const { return S_ISREG(mode); }
};

cfg_file cfg_file_open(const char *path, int flags = kCfgFileOpenFlags);

// What a rule makes of a file's mode.
struct cfg_mode_verdict {
    // Others may write to it, and so change the commands this configuration
    // runs: the client does not read it.
    bool world_writeable = false;
    bool world_readable = false;
    bool group_readable = false; // said only when not readable by others
    // The checker's own: the client takes such a file without a word, yet
    // anyone in its group could change the commands it runs.
    bool group_writeable = false;
    // The checker's hint, with any of the above: the mode the client takes
    // without a word (the owner's own permissions, with reading, and
    // nothing for anyone else); 0 for none.
    unsigned int chmod = 0;

    bool refused() const { return world_writeable; }
};

// The client's rule.
cfg_mode_verdict cfg_mode_client_rule(mode_t mode);
// The checker's stricter one: the client's, and what it says besides.
cfg_mode_verdict cfg_mode_checker_rule(mode_t mode);

// The client's words for the client's part of `verdict` about the file
// named `name`, through the log; 0, or -1 when it refuses the file.
int cfg_mode_say(const char *name, const cfg_mode_verdict &verdict);
