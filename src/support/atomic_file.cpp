#include "support/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fd.h"
#include "support/log.h"

namespace {

// The signals that end a process from outside hold off until the file is
// settled; the ones a fault raises (a crash must not wait on itself) and
// SIGKILL and SIGSTOP (which cannot wait) are left alone. SIGXFSZ is
// ignored instead: held back, it would end the process right after its
// write error was handled.
class signals_held {
  public:
    signals_held()
    {
        sigset_t held;
        sigfillset(&held);
        for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS, SIGXFSZ})
            sigdelset(&held, fault);
        sigprocmask(SIG_BLOCK, &held, &mask_);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &xfsz_);
    }
    ~signals_held()
    {
        sigaction(SIGXFSZ, &xfsz_, nullptr);
        sigprocmask(SIG_SETMASK, &mask_, nullptr);
    }
    signals_held(const signals_held &) = delete;
    signals_held &operator=(const signals_held &) = delete;

  private:
    sigset_t mask_;
    struct sigaction xfsz_;
};

// The temporary file, removed unless it was put in place. It keeps the
// caller's path, which outlives it, rather than a copy: nothing may
// allocate while the file exists.
class temporary_file {
  public:
    explicit temporary_file(const char *path) : path_(path) {}
    ~temporary_file() { remove(); }
    temporary_file(const temporary_file &) = delete;
    temporary_file &operator=(const temporary_file &) = delete;

    void remove()
    {
        if (path_ != nullptr)
            unlink(path_);
        kept();
    }
    void kept() { path_ = nullptr; }

  private:
    const char *path_;
};

// A file system that cannot sync a folder (some network and FUSE ones)
// says so; that is no failure of the write.
bool sync_unsupported(int err)
{
    return err == EINVAL || err == ENOTSUP || err == EROFS;
}

} // namespace

int atomic_file_write(const char *path, const void *data, size_t size)
{
    // Everything that allocates comes before the temporary file exists: an
    // allocation that fails ends the process, which would leave it behind.
    const char *slash = std::strrchr(path, '/');
    const std::string folder = slash == nullptr ? "."
                               : slash == path  ? "/"
                                                : std::string(path, slash);
    const char *base = slash == nullptr ? path : slash + 1;
    std::string temp_path = slash == nullptr ? "" : std::string(path, slash + 1);
    temp_path.append(".").append(base).append(".XXXXXX");

    // Opened first, as it is synced last: a folder that is not there, or
    // cannot be opened, fails the write before anything was changed.
    const fd_guard dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) {
        log_error("%s: cannot open the folder %s: %s", path, folder.c_str(), std::strerror(errno));
        return -1;
    }

    const signals_held held;
    fd_guard file(mkostemp(temp_path.data(), O_CLOEXEC));
    if (!file) {
        log_error("%s: cannot create a temporary file in %s: %s", path, folder.c_str(),
                  std::strerror(errno));
        return -1;
    }
    temporary_file temp(temp_path.c_str());
    // The message comes after the removal; the log may allocate.
    const auto fail = [&](const char *what) {
        const int err = errno;
        temp.remove();
        log_error("%s: %s: %s", path, what, std::strerror(err));
        return -1;
    };

    // mkostemp asks for 0600, from which the umask may still take bits.
    if (fchmod(file.get(), S_IRUSR | S_IWUSR) != 0)
        return fail("cannot set mode 0600");
    if (fd_write_all(file.get(), data, size) != 0 ||
        fsync(file.get()) != 0 || close(file.release()) != 0)
        return fail("cannot write");
    if (rename(temp_path.c_str(), path) != 0)
        return fail("cannot move into place");
    temp.kept();

    if (fsync(dir.get()) != 0 && !sync_unsupported(errno)) {
        log_error("%s: cannot sync the folder %s: %s", path, folder.c_str(), std::strerror(errno));
        return -1;
    }
    return 0;
}
