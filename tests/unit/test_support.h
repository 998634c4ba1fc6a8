// Helpers shared by the unit tests: temporary files and the log's output
// as it appears on standard error, without the system log's framing.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/log.h"

namespace test_support {

// Messages reach stderr as "IDENT[PID]: text"; the tests compare the text.
inline std::string strip_framing(const std::string &raw)
{
    static const std::regex framing("(^|\n)onyx-test\\[[0-9]+\\]: ");
    return std::regex_replace(raw, framing, "$1");
}

// Runs `body` with the log open and returns what it printed on stderr.
inline std::string capture_log(const std::function<void()> &body, int verbosity = 0)
{
    log_init("onyx-test");
    log_set_verbosity(verbosity);
    testing::internal::CaptureStderr();
    body();
    std::fflush(stderr);
    std::string raw = testing::internal::GetCapturedStderr();
    log_set_verbosity(0);
    log_exit();
    return strip_framing(raw);
}

// A file in a fresh temporary folder, removed with the folder.
class TempFile {
  public:
    explicit TempFile(const std::string &content, const std::string &name = "test.xml")
    {
        char tmpl[] = "/tmp/onyx-test.XXXXXX";
        dir_ = mkdtemp(tmpl);
        path_ = dir_ + "/" + name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove_all(dir_); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    const std::string &path() const { return path_; }
    const char *c_path() const { return path_.c_str(); }

  private:
    std::string dir_;
    std::string path_;
};

// Runs `body` on a memory stream and returns what it wrote there.
inline std::string capture_stream(const std::function<void(FILE *)> &body)
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&buffer, &size);
    EXPECT_NE(stream, nullptr);
    if (stream == nullptr)
        return {};
    body(stream);
    std::fclose(stream);
    std::string written(buffer, size);
    std::free(buffer);
    return written;
}

} // namespace test_support
