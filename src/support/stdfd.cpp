#include "support/stdfd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int stdfd_sanitize(unsigned int *closedp, const char **errstrp)
{
    // Reading from standard input and writing to the other two is what a
    // program does with them; opened the other way, the stand-in refuses
    // that as the closed descriptor did, and the program sees no change.
    constexpr int kStandInModes[] = {O_WRONLY, O_RDONLY, O_RDONLY};

    unsigned int closed = 0;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closed |= 1U << fd;
        // Every lower descriptor is open by now, so this one is the lowest
        // free one, which open() returns.
        if (open(STDFD_NULL_DEVICE, kStandInModes[fd]) < 0) {
            *closedp = closed;
            if (errstrp != nullptr)
                *errstrp = std::strerror(errno);
            return -1;
        }
    }
    *closedp = closed;
    return 0;
}

int stdfd_prepare(const char *name, unsigned int *closedp)
{
    const char *why = nullptr;
    if (stdfd_sanitize(closedp, &why) == 0)
        return 0;
    const char *which = (*closedp & STDFD_STDERR) != 0   ? "standard error"
                        : (*closedp & STDFD_STDOUT) != 0 ? "standard output"
                                                         : "standard input";
    std::fprintf(stderr, "%s: %s is closed and " STDFD_NULL_DEVICE " cannot stand in: %s\n", name,
                 which, why);
    return -1;
}
