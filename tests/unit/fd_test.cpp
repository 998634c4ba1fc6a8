// Reading a descriptor to its end within a bound: the limit is exact,
// and neither a descriptor left non-blocking nor an unreadable one is
// taken for the end.
#include "support/fd.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// A pipe whose write end was filled with `size` bytes and closed.
class FilledPipe {
  public:
    explicit FilledPipe(size_t size, int read_flags = 0)
    {
        // A writer left with more than was read fails once the reader is
        // gone, and must not take the test down with it.
        signal(SIGPIPE, SIG_IGN);
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        read_ = fd_guard(ends[0]);
        fd_guard write_end(ends[1]);
        fcntl(read_.get(), F_SETFL, read_flags);
        // The writer runs beside the reader: a pipe holds only 64 KiB.
        writer_ = std::thread([size, fd = write_end.release()] {
            fd_guard end(fd);
            const std::string chunk(4096, 'x');
            for (size_t left = size; left > 0;) {
                const size_t n = std::min(left, chunk.size());
                if (write(end.get(), chunk.data(), n) != static_cast<ssize_t>(n))
                    return;
                left -= n;
            }
        });
    }
    ~FilledPipe()
    {
        read_.reset();
        writer_.join();
    }
    int fd() const { return read_.get(); }

  private:
    fd_guard read_;
    std::thread writer_;
};

TEST(FdReadAll, TakesAnInputUpToTheLimitAndRefusesOneByteMore)
{
    constexpr size_t kLimit = 200 * 1024;
    struct Case {
        size_t size;
        int result;
        int error;
    };
    for (const Case c : {Case{0, 0, 0}, Case{kLimit, 0, 0}, Case{kLimit + 1, -1, EFBIG},
                         Case{3 * kLimit, -1, EFBIG}}) {
        SCOPED_TRACE(c.size);
        FilledPipe input(c.size);
        std::string bytes = "kept:";
        errno = 0;
        EXPECT_EQ(fd_read_all(input.fd(), kLimit, &bytes), c.result);
        if (c.result != 0) {
            EXPECT_EQ(errno, c.error);
        }
        // What was there before stays; past the limit, the limit is kept.
        EXPECT_EQ(bytes.size(), 5 + std::min(c.size, kLimit));
        EXPECT_EQ(bytes.substr(0, 5), "kept:");
    }
}

TEST(FdReadAll, WaitsOnADescriptorLeftNonBlocking)
{
    FilledPipe input(300 * 1024, O_NONBLOCK);
    std::string bytes;
    EXPECT_EQ(fd_read_all(input.fd(), 1024 * 1024, &bytes), 0);
    EXPECT_EQ(bytes.size(), 300u * 1024);
}

TEST(FdReadAll, ReportsADescriptorThatCannotBeRead)
{
    fd_guard write_only(open("/dev/null", O_WRONLY | O_CLOEXEC));
    std::string bytes;
    EXPECT_EQ(fd_read_all(write_only.get(), 1024, &bytes), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(bytes, "");
}

TEST(FdTypeName, NamesEachKindOfFile)
{
    EXPECT_STREQ(fd_type_name(S_IFREG | 0600), "regular file");
    EXPECT_STREQ(fd_type_name(S_IFDIR | 0755), "directory");
    EXPECT_STREQ(fd_type_name(S_IFIFO | 0600), "FIFO");
    EXPECT_STREQ(fd_type_name(S_IFCHR | 0666), "character device");
    EXPECT_STREQ(fd_type_name(0), "file of unknown type");
}

} // namespace
