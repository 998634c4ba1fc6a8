// Writing a file whole: the new file is private whatever the umask, takes
// the place of a regular file and of nothing else, and a failure changes
// nothing and leaves nothing behind, with the process's signal state as it
// was.
#include "support/atomic_file.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it.
class TempDir {
  public:
    TempDir()
    {
        std::string tmpl = fs::temp_directory_path() / "onyx-atomic.XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr)
            ADD_FAILURE() << "cannot make " << tmpl;
        path_ = tmpl;
    }
    ~TempDir() { fs::remove_all(path_); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    // Every entry, hidden ones included: a temporary file left shows here.
    std::set<std::string> entries() const
    {
        std::set<std::string> names;
        for (const auto &entry : fs::directory_iterator(path_))
            names.insert(entry.path().filename());
        return names;
    }

  private:
    std::string path_;
};

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void put(const std::string &path, const std::string &text, mode_t mode)
{
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

mode_t mode_of(const std::string &path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode;
}

// The signal mask and what SIGXFSZ does, which the write changes for a
// while and must give back.
std::string signal_state()
{
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    std::string state;
    for (int sig = 1; sig < NSIG; sig++)
        state += sigismember(&mask, sig) == 1 ? '1' : '0';
    struct sigaction xfsz {};
    sigaction(SIGXFSZ, nullptr, &xfsz);
    return state + (xfsz.sa_handler == SIG_DFL ? " default" : " changed");
}

int write_text(const std::string &path, const std::string &text)
{
    return atomic_file_write(path.c_str(), text.data(), text.size());
}

TEST(AtomicFileWrite, MakesAPrivateFileWhateverTheUmask)
{
    const std::string signals = signal_state();
    for (mode_t mask : {0000, 0022, 0077, 0277}) {
        TempDir dir;
        const mode_t old = umask(mask);
        const int result = write_text(dir / "new.conf", "<onyxcast/>\n");
        umask(old);
        ASSERT_EQ(result, 0) << std::oct << mask;
        EXPECT_EQ(contents(dir / "new.conf"), "<onyxcast/>\n");
        EXPECT_EQ(mode_of(dir / "new.conf"), S_IFREG | 0600) << std::oct << mask;
        EXPECT_EQ(dir.entries(), std::set<std::string>{"new.conf"});
    }
    EXPECT_EQ(signal_state(), signals);
}

TEST(AtomicFileWrite, ReplacesARegularFileOfAnyName)
{
    TempDir dir;
    put(dir / "open.conf", "old", 0644);
    const std::string big(1 << 20, 'x'); // more than one write may take
    ASSERT_EQ(write_text(dir / "open.conf", big), 0);
    EXPECT_EQ(contents(dir / "open.conf"), big);
    EXPECT_EQ(mode_of(dir / "open.conf"), S_IFREG | 0600);

    // The longest name a folder takes, new and then replaced: the
    // temporary name must not grow from it.
    const std::string longest(NAME_MAX, 'n');
    ASSERT_EQ(write_text(dir / longest, "first"), 0);
    ASSERT_EQ(write_text(dir / longest, "second"), 0);
    EXPECT_EQ(contents(dir / longest), "second");

    // A bare name is a file of the current folder.
    const std::string cwd = fs::current_path();
    fs::current_path(dir / "");
    EXPECT_EQ(write_text("here.conf", ""), 0);
    fs::current_path(cwd);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"open.conf", longest, "here.conf"}));
}

// What stands at a path, enough to tell that it was left alone.
struct Identity {
    dev_t dev;
    ino_t ino;
    mode_t mode;
    std::string link_target;
    bool operator==(const Identity &) const = default;
};

Identity identity_of(const std::string &path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return {};
    std::string target;
    if (S_ISLNK(st.st_mode)) {
        target.resize(PATH_MAX);
        const ssize_t len = readlink(path.c_str(), target.data(), target.size());
        target.resize(len > 0 ? static_cast<size_t>(len) : 0);
    }
    return {st.st_dev, st.st_ino, st.st_mode, target};
}

// Anything but a regular file is refused, by the look before the work and
// by the write itself (which has to look again: the path may have changed
// since), with one message and nothing changed: a device or FIFO would
// otherwise become a private file, a link would lose its target.
TEST(AtomicFileWrite, RefusesAnythingButARegularFile)
{
    TempDir dir;
    put(dir / "target.conf", "target", 0600);
    struct Case {
        std::string name;
        std::string message; // after "PATH: "
    };
    std::vector<Case> cases = {
        {"fifo", "not a regular file (FIFO)"},
        {"socket", "not a regular file (socket)"},
        {"folder", "not a regular file (directory)"},
        {"link", "not a regular file (symbolic link to target.conf): give the path it points to"},
        {"dangling", "not a regular file (symbolic link to nowhere): give the path it points to"},
        {"stdout", "not a regular file (symbolic link to /proc/self/fd/1): give the path it "
                   "points to"},
        {"odd-link",
         "not a regular file (symbolic link to a\\nb\\x01): give the path it points to"},
    };
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT((dir / "socket").size(), sizeof addr.sun_path);
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", (dir / "socket").c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(sock);
    fs::create_directory(dir / "folder");
    put(dir / "folder/inside", "inside", 0600);
    ASSERT_EQ(symlink("target.conf", (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/fd/1", (dir / "stdout").c_str()), 0);
    ASSERT_EQ(symlink("a\nb\x01", (dir / "odd-link").c_str()), 0);
    // A device of this folder's own, never one of /dev; making one takes
    // privileges a test may not have.
    if (mknod((dir / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0)
        cases.push_back({"device", "not a regular file (character device)"});
    else
        std::printf("no character device case: mknod: %s\n", std::strerror(errno));
    if (mknod((dir / "disk").c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0)
        cases.push_back({"disk", "not a regular file (block device)"});

    const std::string signals = signal_state();
    for (const Case &c : cases) {
        const std::string path = dir / c.name;
        const Identity before = identity_of(path);
        const std::string expected = path + ": " + c.message + "\n";
        EXPECT_EQ(test_support::capture_log(
                      [&] { EXPECT_EQ(atomic_file_check_target(path.c_str()), -1); }),
                  expected);
        EXPECT_EQ(test_support::capture_log([&] { EXPECT_EQ(write_text(path, "new"), -1); }),
                  expected);
        EXPECT_EQ(identity_of(path), before) << c.name;
    }
    EXPECT_EQ(signal_state(), signals);
    EXPECT_EQ(contents(dir / "target.conf"), "target");
    EXPECT_EQ(contents(dir / "folder/inside"), "inside");
    std::set<std::string> names{"target.conf", "folder"};
    for (const Case &c : cases)
        names.insert(c.name);
    EXPECT_EQ(dir.entries(), names);

    // A regular file, or nothing yet, or a path the write will report on
    // in its own words: no word from the look.
    for (const std::string &path : {dir / "target.conf", dir / "new.conf", dir / "missing/new.conf",
                                    dir / "target.conf/new.conf"}) {
        EXPECT_EQ(test_support::capture_log(
                      [&] { EXPECT_EQ(atomic_file_check_target(path.c_str()), 0) << path; }),
                  "");
    }
}

TEST(AtomicFileWrite, FailsWithoutChangingAnything)
{
    TempDir dir;
    put(dir / "file", "file", 0600);
    fs::create_directory(dir / "folder");
    put(dir / "folder/inside", "inside", 0600);
    struct Case {
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {dir / "missing/new.conf", dir / "missing/new.conf: cannot open the folder " +
                                       (dir / "missing") + ": No such file or directory\n"},
        {dir / "file/new.conf",
         dir / "file/new.conf: cannot open the folder " + (dir / "file") + ": Not a directory\n"},
        // Paths are shown as values are: no line break of theirs reaches
        // the log.
        {dir / "mis\nsing/new\x01.conf", dir / "mis\\nsing/new\\x01.conf: cannot open the folder " +
                                             (dir / "mis\\nsing") +
                                             ": No such file or directory\n"},
        // A name longer than any the folder takes fails only at the
        // rename, with the temporary file made and written.
        {dir / std::string(NAME_MAX + 1, 'n'),
         dir / std::string(NAME_MAX + 1, 'n') + ": cannot move into place: File name too long\n"},
    };
    const std::string signals = signal_state();
    for (const Case &c : cases) {
        const std::string messages =
            test_support::capture_log([&] { EXPECT_EQ(write_text(c.path, "new"), -1) << c.path; });
        EXPECT_EQ(messages, c.message);
    }
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"file", "folder"}));
    EXPECT_EQ(contents(dir / "file"), "file");
    EXPECT_EQ(contents(dir / "folder/inside"), "inside");

    EXPECT_EQ(signal_state(), signals);
}

} // namespace
