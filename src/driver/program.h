// What both programs do first and last, in the one order that is safe.
#pragma once

// Where a program's messages go.
enum class program_log {
    // The system log, with a copy on standard error: a program that changes
    // a system leaves a record.
    system,
    // Standard error alone: a program that only looks, run by hand, from a
    // hook or under a service manager that already records standard error,
    // where the system log would show each message twice.
    standard_error,
};

// Prepares a run of the program started as `argv0` (null when argc is 0):
// fills closed standard descriptors before anything opens one (a closed
// standard output would otherwise become the log's socket, and the
// document would go to the log), makes allocation failures end the run
// cleanly, empties the active configuration, opens the log under the
// program's name where `log` says and rewinds getopt. Sets *namep to that
// name and, unless `closedp` is null, *closedp to the descriptors that
// were closed (see stdfd_sanitize).
// Returns 0, or -1 when the run must end with status 1 (the reason was
// reported).
int program_start(const char *argv0, program_log log, const char **namep, unsigned int *closedp);

// getopt(3) that stops at the first operand, as POSIX says, everywhere:
// glibc would otherwise permute, and take a file named like an option for
// one.
int program_getopt(int argc, char **argv, const char *options);

// "usage: NAME SYNOPSIS" on standard error; program_help adds a blank line
// and `options`, one line per option.
void program_usage(const char *synopsis);
void program_help(const char *synopsis, const char *options);

// Closes the log and frees the active configuration.
void program_end(void);
