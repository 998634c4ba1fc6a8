#include "support/fd.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

void fd_guard::reset()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

int fd_write_all(int fd, const void *data, size_t size)
{
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int fd_read_all(int fd, size_t limit, std::string *out)
{
    // As much as a pipe holds, so that one read takes what a writer put
    // there. Room for the whole limit is set aside at once: it costs no
    // memory until written, where growing by doubling would copy the input
    // and, near the limit, hold it twice.
    constexpr size_t kChunk = 64 * 1024;
    const size_t start = out->size();
    out->reserve(start + limit + 1);
    for (;;) {
        const size_t taken = out->size() - start;
        // One byte more than the limit tells an input that is too long from
        // one that ends right at it.
        const size_t want = std::min(kChunk, limit - taken + 1);
        out->resize(start + taken + want);
        const ssize_t n = read(fd, out->data() + start + taken, want);
        out->resize(start + taken + (n > 0 ? static_cast<size_t>(n) : 0));
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
                if (poll(&ready, 1, -1) >= 0 || errno == EINTR)
                    continue;
            }
            return -1;
        }
        if (out->size() - start > limit) {
            out->resize(start + limit);
            errno = EFBIG;
            return -1;
        }
    }
}

const char *fd_type_name(mode_t mode)
{
    struct type_name {
        mode_t type;
        const char *name;
    };
    static constexpr type_name kTypes[] = {
        {S_IFREG, "regular file"},  {S_IFDIR, "directory"},        {S_IFIFO, "FIFO"},
        {S_IFSOCK, "socket"},       {S_IFCHR, "character device"}, {S_IFBLK, "block device"},
        {S_IFLNK, "symbolic link"},
    };
    for (const type_name &t : kTypes) {
        if ((mode & S_IFMT) == t.type)
            return t.name;
    }
    return "file of unknown type";
}
