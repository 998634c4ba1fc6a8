#include "driver/program.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <string>
#include <unistd.h>

#include "cfg/cfg.h"
#include "support/alloc.h"
#include "support/log.h"
#include "support/stdfd.h"
#include "support/util.h"
#include "support/xml_handle.h"

#ifndef ONYX_VERSION
#error "ONYX_VERSION must be defined: the build passes the project's version"
#endif

namespace {

// getopt_long's code for --help; any value that is no option letter.
constexpr int kLongHelp = 0x100;

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, kLongHelp},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// AddressSanitizer checks for leaks from exit(3), and only from there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeaksCheckedAtExit = true;
#elif defined(__has_feature)
constexpr bool kLeaksCheckedAtExit = __has_feature(address_sanitizer);
#else
constexpr bool kLeaksCheckedAtExit = false;
#endif

// A coverage build writes its counts from destructors, which exit(3) runs
// and _exit(2) does not. It takes exit's way rather than calling the
// compiler's dump before _exit: the sanitizer build runs every golden case
// that way already, so it is known to leave every output byte as it is,
// and it needs nothing of one compiler's runtime. The pages the
// destructors map are of no concern in a build that counts every line.
#if defined(ONYX_COVERAGE)
constexpr bool kCountsWrittenAtExit = true;
#else
constexpr bool kCountsWrittenAtExit = false;
#endif

constexpr const char kLongOptionsHelp[] =
    "--help prints this help on standard output; --version is -V.\n";

void print_usage(FILE *out, const program_command_line &cli)
{
    std::fprintf(out, "usage: %s %s\n", util_program_name(nullptr), cli.synopsis);
}

void print_help(FILE *out, const program_command_line &cli)
{
    print_usage(out, cli);
    std::fputc('\n', out);
    std::fputs(cli.option_help, out);
    std::fputc('\n', out);
    std::fputs(cli.notes, out);
    std::fputs(kLongOptionsHelp, out);
}

// What was asked for on standard output went there whole, or the run
// fails: a version line cut short by a full disk would lie in an audit.
int finish_stdout()
{
    return util_finish_output(stdout, "standard output") == 0 ? 0 : 1;
}

} // namespace

int program_start(const char *argv0, program_log log, const char **namep, unsigned int *closedp)
{
    const char *name = util_program_name(argv0);
    *namep = name;
    unsigned int closed = 0;
    const int filled = stdfd_prepare(name, &closed);
    if (closedp != nullptr)
        *closedp = closed;
    if (filled < 0)
        return -1;

    xalloc_install_new_handler();
    xml_use_checked_allocation();
    if (cfg_init() < 0)
        return -1;
    if ((log == program_log::system ? log_init(name) : log_init_stderr(name)) < 0)
        return -1;
    // A program may run more than once in one process (the tests do).
    optind = 1;
    return 0;
}

int program_getopt(const program_command_line &cli, int argc, char **argv, int *statusp)
{
    // "+" keeps glibc from permuting; the other getopt_long
    // implementations take it the same way.
    const std::string options = std::string("+") + cli.options;
    const int ch = getopt_long(argc, argv, options.c_str(), kLongOptions, nullptr);
    switch (ch) {
    case 'h':
        print_help(stderr, cli);
        *statusp = 0;
        return PROGRAM_GETOPT_END_RUN;
    case kLongHelp:
        print_help(stdout, cli);
        *statusp = finish_stdout();
        return PROGRAM_GETOPT_END_RUN;
    case 'V':
        std::printf("%s %s\n", cli.product, ONYX_VERSION);
        *statusp = finish_stdout();
        return PROGRAM_GETOPT_END_RUN;
    case '?':
    case ':':
        program_usage(cli);
        *statusp = 2;
        return PROGRAM_GETOPT_END_RUN;
    default:
        return ch;
    }
}

void program_usage(const program_command_line &cli)
{
    print_usage(stderr, cli);
}

void program_end(void)
{
    log_exit();
    // The model stays as it is: the process ends next and takes it back
    // whole, where freeing it entry by entry would cost a large document a
    // tenth of its reading. It stays reachable from the store, and a later
    // run in the same process starts by clearing it.
}

void program_exit(int status)
{
    std::fflush(nullptr);
    if (kCountsWrittenAtExit) {
        // Under a limit on file size (ulimit -f) writing the counts would
        // end the run by SIGXFSZ, with a status no other build gives; the
        // run's counts are lost instead.
        std::signal(SIGXFSZ, SIG_IGN);
        std::exit(status);
    }
    if (kLeaksCheckedAtExit)
        std::exit(status);
    // What exit(3) would do next is run every library's destructors. None
    // of them owes the world anything once the output is out, every message
    // having been sent as it was logged: they free what the system takes
    // back anyway. But each lies in code of its library that the run has
    // not touched, and calling it maps that code in: on a small file about
    // 200 KB of a 5 MB peak.
    _exit(status);
}
