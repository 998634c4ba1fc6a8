// Shared pieces of the fuzz harnesses: a private input file, the written
// document captured in memory, and the checks that turn a wrong result
// into a crash the fuzzer records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Ends the process through abort() with the message, so that the fuzzer
// keeps the input; the replay driver reports it the same way.
[[noreturn]] void fuzz_fail(const char *format, ...) __attribute__((format(printf, 1, 2)));

#define FUZZ_CHECK(cond, ...)                                                                      \
    do {                                                                                           \
        if (!(cond))                                                                               \
            fuzz_fail(__VA_ARGS__);                                                                \
    } while (0)

// A file of the harness's own (mode 0600, removed at exit) that each input
// is written to, since the readers take a path.
class fuzz_file {
  public:
    explicit fuzz_file(const char *tag);
    ~fuzz_file();
    fuzz_file(const fuzz_file &) = delete;
    fuzz_file &operator=(const fuzz_file &) = delete;

    void write(const uint8_t *data, size_t size);
    void write(const std::string &text)
    {
        write(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    }
    const char *path() const { return path_.c_str(); }

  private:
    std::string path_;
    int fd_ = -1;
};

// Installs a log sink that checks every message and drops it, and drops
// the XML library's own diagnostics: the harnesses look at results, and
// thousands of messages a second only slow the fuzzer down.
void fuzz_quiet_log();

// The passwords of `data` that no message may show from now on: the texts
// of its <password> and <sourcepassword> elements and the user information
// of its URLs, as far as they can be told apart from the rest of the input
// and of its file's `path`.
void fuzz_watch_secrets(const uint8_t *data, size_t size, const char *path);

// The active configuration as cfg_document_write writes it.
std::string fuzz_write_document();

// Reads `document` into a fresh configuration store and checks that it
// reads without a refusal and writes back unchanged. Leaves the store
// released.
void fuzz_check_reads_back(const std::string &document, fuzz_file &scratch, const char *what);
