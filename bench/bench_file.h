// A file under the temporary folder that lives as long as the object, for
// benchmarks that read their input from a path.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

class bench_file {
  public:
    explicit bench_file(const std::string &content)
    {
        const char *tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/onyx-bench.XXXXXX";
        // mkstemp makes the file private, as the version-1 reader wants it.
        const int fd = mkstemp(path_.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::exit(1);
        }
        const char *p = content.data();
        std::size_t left = content.size();
        while (left > 0) {
            const ssize_t n = write(fd, p, left);
            if (n <= 0) {
                std::perror(path_.c_str());
                std::exit(1);
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        close(fd);
    }
    ~bench_file() { unlink(path_.c_str()); }
    bench_file(const bench_file &) = delete;
    bench_file &operator=(const bench_file &) = delete;

    const char *path() const { return path_.c_str(); }

  private:
    std::string path_;
};

// Output that costs the writer its formatting but no disk.
inline FILE *bench_null_output()
{
    static FILE *out = std::fopen("/dev/null", "w");
    if (out == nullptr) {
        std::perror("/dev/null");
        std::exit(1);
    }
    return out;
}
