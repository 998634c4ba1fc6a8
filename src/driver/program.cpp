#include "driver/program.h"

#include <cstdio>
#include <string>
#include <unistd.h>

#include "cfg/cfg.h"
#include "support/alloc.h"
#include "support/log.h"
#include "support/stdfd.h"
#include "support/util.h"

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
    if (cfg_init() < 0)
        return -1;
    if ((log == program_log::system ? log_init(name) : log_init_stderr(name)) < 0)
        return -1;
    // A program may run more than once in one process (the tests do).
    optind = 1;
    return 0;
}

int program_getopt(int argc, char **argv, const char *options)
{
#ifdef __GLIBC__
    const std::string posix = std::string("+") + options;
    return getopt(argc, argv, posix.c_str());
#else
    return getopt(argc, argv, options);
#endif
}

void program_usage(const char *synopsis)
{
    std::fprintf(stderr, "usage: %s %s\n", util_program_name(nullptr), synopsis);
}

void program_help(const char *synopsis, const char *options)
{
    program_usage(synopsis);
    std::fputc('\n', stderr);
    std::fputs(options, stderr);
}

void program_end(void)
{
    log_exit();
    cfg_exit();
}
