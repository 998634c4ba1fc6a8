#include "support/util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct ToolRun {
    int status = -1;
    std::string err;
};

// Runs the tool with exactly the given argument vector (which may be empty)
// and collects its standard error.
ToolRun run_tool(const std::vector<const char *> &args)
{
    ToolRun run;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        return run;
    std::vector<char *> argv;
    for (const char *arg : args)
        argv.push_back(const_cast<char *>(arg));
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], STDERR_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        execve(ONYX_TOOL_PATH, argv.data(), environ);
        _exit(127);
    }
    close(pipe_fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buf, sizeof(buf))) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            run.err.append(buf, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

std::string usage_line(const std::string &name)
{
    return "usage: " + name + " [-Vhv] [-o v1-cfgfile] -0 v0-cfgfile\n";
}

TEST(UtilProgramName, IsTheLastPathComponentOfArgv0)
{
    struct Case {
        const char *argv0;
        const char *name;
    };
    const Case cases[] = {
        {"/usr/local/bin/tool", "tool"},
        {"tool", "tool"},
        {"./tool", "tool"},
        {"/usr/local/bin/", ""},
    };
    for (const Case &c : cases) {
        ToolRun run = run_tool({c.argv0, "-h"});
        EXPECT_EQ(run.status, 0) << c.argv0;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), usage_line(c.name)) << c.argv0;
    }
}

TEST(UtilProgramName, NoArgumentVectorGivesTheEmptyName)
{
    // Without arguments the tool cannot be asked for help; the usage line of
    // its usage error shows the name all the same.
    ToolRun run = run_tool({});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(usage_line("")), std::string::npos) << run.err;
}

TEST(UtilProgramName, IgnoresItsArgument)
{
    const char *name = util_program_name(nullptr);
    EXPECT_STREQ(name, "util_program_name_test");
    EXPECT_EQ(util_program_name("/somewhere/else"), name);
}

} // namespace
