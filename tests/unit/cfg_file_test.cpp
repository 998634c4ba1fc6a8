// The two rules over a file's mode, and the one look at a file they judge.
#include "cfg/cfg_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "test_support.h"

namespace {

using test_support::TempFile;

// One verdict as letters, so that a table row reads as what is said:
// W world writeable (refused), R world readable, r group readable,
// g group writeable, then the chmod hint's mode.
std::string letters(const cfg_mode_verdict &v)
{
    std::string out;
    out += v.world_writeable ? "W" : "";
    out += v.world_readable ? "R" : "";
    out += v.group_readable ? "r" : "";
    out += v.group_writeable ? "g" : "";
    if (v.chmod != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, " %o", v.chmod);
        out += mode;
    }
    return out;
}

struct ModeCase {
    mode_t mode;
    const char *client;
    const char *checker;
};

// The client refuses what others may write and speaks of what others or
// the group may read; the checker adds the group's writing and, whenever
// anything is amiss for others or the group's writing, the mode to set,
// which keeps the owner's own bits and adds reading.
constexpr ModeCase kModes[] = {
    {0600, "", ""},
    {0400, "", ""},
    {0640, "r", "r"},
    {0660, "r", "rg 600"},
    {0620, "", "g 600"},
    {0644, "R", "R 600"},
    {0604, "R", "R 600"},
    {0602, "W", "W 600"},
    {0666, "WR", "WRg 600"},
    {0202, "W", "W 600"},
    {0004, "R", "R 400"},
    {0704, "R", "R 700"},
    {0777, "WR", "WRg 700"},
};

TEST(CfgFile, TheTwoRulesOverATableOfModes)
{
    for (const ModeCase &c : kModes) {
        SCOPED_TRACE(testing::Message() << std::oct << c.mode);
        const cfg_mode_verdict client = cfg_mode_client_rule(S_IFREG | c.mode);
        const cfg_mode_verdict checker = cfg_mode_checker_rule(S_IFREG | c.mode);
        EXPECT_EQ(letters(client), c.client);
        EXPECT_EQ(letters(checker), c.checker);
        // The checker's rule never refuses what the client reads.
        EXPECT_EQ(checker.refused(), client.refused());
    }
}

TEST(CfgFile, OneOpenGivesTheTypeAndModeOrTheReason)
{
    TempFile file("<onyxcast/>");
    chmod(file.c_path(), 0640);
    const cfg_file opened = cfg_file_open(file.c_path());
    ASSERT_TRUE(opened.examined);
    EXPECT_TRUE(opened.fd);
    EXPECT_TRUE(opened.regular());
    EXPECT_EQ(opened.mode & 07777, 0640u);

    const cfg_file missing = cfg_file_open((file.path() + ".none").c_str());
    EXPECT_FALSE(missing.examined);
    EXPECT_FALSE(missing.fd);
    EXPECT_EQ(missing.error, ENOENT);

    const cfg_file folder = cfg_file_open("/");
    ASSERT_TRUE(folder.examined);
    EXPECT_FALSE(folder.regular());
}

} // namespace
