// File descriptors: owned ones that close themselves, and reading one to
// its end within a bound.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

// Closes the descriptor it holds (if any, that is, not negative) when it
// goes.
class fd_guard {
  public:
    fd_guard() = default;
    explicit fd_guard(int fd) : fd_(fd) {}
    ~fd_guard() { reset(); }
    fd_guard(const fd_guard &) = delete;
    fd_guard &operator=(const fd_guard &) = delete;
    fd_guard(fd_guard &&other) noexcept : fd_(other.release()) {}
    fd_guard &operator=(fd_guard &&other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset();

  private:
    int fd_ = -1;
};

// Appends what `fd` gives until its end to *out, but never more than
// `limit` bytes: an endless or huge input (a pipe, a terminal left open)
// is refused once it passes the limit instead of growing the process.
// Waits for a descriptor that was left non-blocking rather than taking its
// silence for an error. 0 when the end came within the limit; else -1 with
// errno set: EFBIG past the limit (*out then holds the first `limit`
// bytes), or the read's own error.
int fd_read_all(int fd, size_t limit, std::string *out);

// Writes all `size` bytes at `data`, however many calls that takes. 0, or
// -1 with errno set by the write that failed.
int fd_write_all(int fd, const void *data, size_t size);

// What kind of file a mode stands for, as a message names it: "regular
// file", "directory", "FIFO", "socket", "character device", "block device"
// or "symbolic link"; "file of unknown type" for anything else.
const char *fd_type_name(mode_t mode);
