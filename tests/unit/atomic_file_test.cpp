// Writing a file whole: the new file is private whatever the umask, takes
// the place of whatever was at the path (a link itself, not its target),
// and a failure changes nothing and leaves nothing behind, with the
// process's signal state as it was.
#include "support/atomic_file.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(AtomicFileWrite, ReplacesTheFileOrTheLinkAtThePath)
{
    TempDir dir;
    put(dir / "open.conf", "old", 0644);
    put(dir / "target.conf", "target", 0600);
    ASSERT_EQ(symlink("target.conf", (dir / "link.conf").c_str()), 0);
    const std::string big(1 << 20, 'x'); // more than one write may take

    ASSERT_EQ(write_text(dir / "open.conf", big), 0);
    EXPECT_EQ(contents(dir / "open.conf"), big);
    EXPECT_EQ(mode_of(dir / "open.conf"), S_IFREG | 0600);

    ASSERT_EQ(write_text(dir / "link.conf", "new"), 0);
    EXPECT_EQ(mode_of(dir / "link.conf"), S_IFREG | 0600);
    EXPECT_EQ(contents(dir / "link.conf"), "new");
    EXPECT_EQ(contents(dir / "target.conf"), "target");

    // A bare name is a file of the current folder.
    const std::string cwd = fs::current_path();
    fs::current_path(dir / "");
    EXPECT_EQ(write_text("here.conf", ""), 0);
    fs::current_path(cwd);
    EXPECT_EQ(dir.entries(),
              (std::set<std::string>{"open.conf", "target.conf", "link.conf", "here.conf"}));
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
        {dir / "folder", dir / "folder: cannot move into place: Is a directory\n"},
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

    // The last case failed while signals were held back.
    EXPECT_EQ(signal_state(), signals);
}

} // namespace
