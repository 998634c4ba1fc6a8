#include "support/stdfd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Closes the descriptors of `to_close`, sanitises, and returns 0 when
// stdfd_sanitize reported exactly those, left the open ones alone, and
// made the closed ones valid but failing as a closed one does; otherwise
// the number of the first check that failed. Runs in a child, since it
// takes the test's own standard descriptors away.
int check_in_child(unsigned int to_close)
{
    struct stat before[3] = {};
    for (int fd = 0; fd <= 2; fd++) {
        if (fstat(fd, &before[fd]) != 0)
            return 10;
        if ((to_close & (1U << fd)) != 0)
            close(fd);
    }

    unsigned int closed = 0xff;
    const char *why = nullptr;
    if (stdfd_sanitize(&closed, &why) != 0)
        return 1;
    if (closed != to_close)
        return 2;
    char byte = 'x';
    for (int fd = 0; fd <= 2; fd++) {
        struct stat now = {};
        if (fstat(fd, &now) != 0)
            return 3;
        bool was_closed = (to_close & (1U << fd)) != 0;
        if (!was_closed && (now.st_dev != before[fd].st_dev || now.st_ino != before[fd].st_ino))
            return 4;
        if (!was_closed)
            continue;
        errno = 0;
        ssize_t done = fd == 0 ? read(fd, &byte, 1) : write(fd, &byte, 1);
        if (done != -1 || errno != EBADF)
            return 5;
    }
    // What opens next, such as the log's socket, must not take 0 to 2.
    if (open("/dev/null", O_RDONLY) < 3)
        return 6;
    return 0;
}

TEST(StdfdSanitize, FillsExactlyTheClosedDescriptors)
{
    for (unsigned int to_close :
         {0U, unsigned{STDFD_STDIN}, unsigned{STDFD_STDOUT}, unsigned{STDFD_STDERR},
          unsigned{STDFD_STDOUT | STDFD_STDERR}, unsigned{STDFD_STDIN | STDFD_STDERR},
          unsigned{STDFD_STDIN | STDFD_STDOUT | STDFD_STDERR}}) {
        SCOPED_TRACE(testing::Message() << "closed mask " << to_close);
        EXPECT_EXIT(std::_Exit(check_in_child(to_close)), testing::ExitedWithCode(0), "");
    }
}

} // namespace
