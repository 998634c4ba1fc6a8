#include "support/atomic_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fd.h"
#include "support/log.h"
#include "support/log_input.h"

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

// Why the file at `path` is not replaced; `shown` is the path as messages
// show it.
void log_not_regular(const char *shown, const char *path, const struct stat &st)
{
    if (S_ISLNK(st.st_mode)) {
        // A target is at most PATH_MAX - 1 bytes; one that went meanwhile
        // leaves the plain refusal.
        std::string target(PATH_MAX, '\0');
        const ssize_t len = readlink(path, target.data(), target.size());
        if (len >= 0) {
            target.resize(static_cast<size_t>(len));
            log_error("%s: not a regular file (symbolic link to %s): give the path it points to",
                      shown, log_input_value(target.c_str()).c_str());
            return;
        }
    }
    log_error("%s: not a regular file (%s)", shown, fd_type_name(st.st_mode));
}

enum class placed { yes, not_regular, failed };

// The rename that puts the file in place, after a last look at what it
// would replace (in *st when that is refused). A path where nothing was
// seen is taken only while it stays empty; what appears there meanwhile is
// looked at in turn, once: a path that keeps changing fails the write.
// Allocates nothing.
placed put_in_place(const char *temp_path, const char *path, struct stat *st)
{
    for (int look = 0; look < 2; look++) {
        if (lstat(path, st) == 0) {
            if (!S_ISREG(st->st_mode))
                return placed::not_regular;
            return rename(temp_path, path) == 0 ? placed::yes : placed::failed;
        }
        // Any other reason to find nothing (a name too long, say) is the
        // rename's to report.
        if (renameat2(AT_FDCWD, temp_path, AT_FDCWD, path, RENAME_NOREPLACE) == 0)
            return placed::yes;
        // A file system or kernel that cannot refuse to replace leaves the
        // plain rename, and the instant since the look.
        if (errno == EINVAL || errno == ENOSYS)
            return rename(temp_path, path) == 0 ? placed::yes : placed::failed;
        if (errno != EEXIST)
            return placed::failed;
    }
    return placed::failed;
}

} // namespace

int atomic_file_check_target(const char *path)
{
    struct stat st;
    if (lstat(path, &st) != 0 || S_ISREG(st.st_mode))
        return 0;
    log_not_regular(log_input_value(path).c_str(), path, st);
    return -1;
}

int atomic_file_write(const char *path, const void *data, size_t size)
{
    // Everything that allocates comes before the temporary file exists: an
    // allocation that fails ends the process, which would leave it behind.
    const char *slash = std::strrchr(path, '/');
    const std::string folder = slash == nullptr ? "."
                               : slash == path  ? "/"
                                                : std::string(path, slash);
    // Not derived from the file's own name: that may already take all
    // the 255 bytes a name can have.
    std::string temp_path = slash == nullptr ? "" : std::string(path, slash + 1);
    temp_path.append(".onyxcast-XXXXXX");
    const std::string shown = log_input_value(path);
    const std::string shown_folder = log_input_value(folder.c_str());

    // Opened first, as it is synced last: a folder that is not there, or
    // cannot be opened, fails the write before anything was changed.
    const fd_guard dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) {
        log_error("%s: cannot open the folder %s: %s", shown.c_str(), shown_folder.c_str(),
                  std::strerror(errno));
        return -1;
    }

    const signals_held held;
    fd_guard file(mkostemp(temp_path.data(), O_CLOEXEC));
    if (!file) {
        log_error("%s: cannot create a temporary file in %s: %s", shown.c_str(),
                  shown_folder.c_str(), std::strerror(errno));
        return -1;
    }
    temporary_file temp(temp_path.c_str());
    // The message comes after the removal; the log may allocate.
    const auto fail = [&](const char *what) {
        const int err = errno;
        temp.remove();
        log_error("%s: %s: %s", shown.c_str(), what, std::strerror(err));
        return -1;
    };

    // mkostemp asks for 0600, from which the umask may still take bits.
    if (fchmod(file.get(), S_IRUSR | S_IWUSR) != 0)
        return fail("cannot set mode 0600");
    if (fd_write_all(file.get(), data, size) != 0 ||
        fsync(file.get()) != 0 || close(file.release()) != 0)
        return fail("cannot write");
    struct stat st;
    switch (put_in_place(temp_path.c_str(), path, &st)) {
    case placed::yes:
        temp.kept();
        break;
    case placed::not_regular:
        temp.remove();
        log_not_regular(shown.c_str(), path, st);
        return -1;
    case placed::failed:
        return fail("cannot move into place");
    }

    if (fsync(dir.get()) != 0 && !sync_unsupported(errno)) {
        log_error("%s: cannot sync the folder %s: %s", shown.c_str(), shown_folder.c_str(),
                  std::strerror(errno));
        return -1;
    }
    return 0;
}
