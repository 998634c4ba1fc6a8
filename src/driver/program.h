// What both programs do first and last, in the one order that is safe, and
// the command line they share: the short options, the help and the version.
#pragma once

#include <cstdio>

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

// A program's command line as its help shows it.
struct program_command_line {
    // The program's own name, for its version line: an audit wants the
    // product, not whatever name a link gave it.
    const char *product;
    // getopt(3) options, "h" and "V" among them.
    const char *options;
    // What follows "usage: NAME " on the usage line.
    const char *synopsis;
    // One line per option, in the order of the alphabet.
    const char *option_help;
    // Lines after the options, before the long options' line; may be "".
    const char *notes;
};

// program_getopt's result when the run ends during option parsing.
inline constexpr int PROGRAM_GETOPT_END_RUN = -2;

// The next option of the command line, as getopt(3) gives it, stopping at
// the first operand or at "--" as POSIX says (glibc would otherwise
// permute, and take a file named like an option for one). Handles what
// every program does alike, and then returns PROGRAM_GETOPT_END_RUN with
// the run's exit status in *statusp:
// - -h: the usage line and the help on standard error, status 0;
// - --help: the same on standard output, status 0, as GNU programs do;
// - -V and --version: "PRODUCT VERSION" on standard output, status 0;
// - an unknown option (--help and --version are the only long ones, each
//   also taken shortened, as far as it is unambiguous) or a missing
//   option argument: the parser's own message and the usage line on
//   standard error, status 2.
// A failure to write help or version to standard output is reported and
// makes the status 1. Otherwise returns the option's letter, or -1 when
// the options have ended (optind then indexes the first operand).
int program_getopt(const program_command_line &cli, int argc, char **argv, int *statusp);

// "usage: NAME SYNOPSIS" on standard error.
void program_usage(const program_command_line &cli);

// Closes the log; the configuration read is left to the end of the process.
void program_end(void);

// Ends the process with `status`, for a program's main to call with what
// its run returned: every output was written and checked by then, and
// every message sent as it was logged. Standard streams are flushed, but
// handlers registered with atexit(3) and the libraries' destructors do not
// run (see program.cpp), except in a build with AddressSanitizer, whose
// leak check runs at exit, and in a coverage build, whose counts are
// written there.
[[noreturn]] void program_exit(int status);
