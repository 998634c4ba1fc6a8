#include "fuzz_support.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>


#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_writer.h"

void fuzz_fail(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::fputs("fuzz check failed: ", stderr);
    std::vfprintf(stderr, format, ap);
    std::fputc('\n', stderr);
    va_end(ap);
    std::abort();
}

fuzz_file::fuzz_file(const char *tag)
{
    // Each execution rewrites the file and the readers open it several
    // times; on a disk file system a truncated file is written back when it
    // is closed, which cost a good share of every execution. Memory-backed
    // /dev/shm has no such cost.
    const char *dir = std::getenv("TMPDIR");
    std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if ((dir == nullptr || *dir == '\0') && access("/dev/shm", W_OK) == 0)
        base = "/dev/shm";
    path_ = base + "/onyx-fuzz-" + tag + "-XXXXXX";
    // mkstemp makes the file 0600, which the version-1 reader insists on.
    fd_ = mkstemp(path_.data());
    if (fd_ < 0)
        fuzz_fail("cannot create %s: %s", path_.c_str(), std::strerror(errno));
}

fuzz_file::~fuzz_file()
{
    close(fd_);
    unlink(path_.c_str());
}

void fuzz_file::write(const uint8_t *data, size_t size)
{
    if (ftruncate(fd_, 0) != 0)
        fuzz_fail("cannot truncate %s: %s", path_.c_str(), std::strerror(errno));
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            fuzz_fail("cannot write %s: %s", path_.c_str(), std::strerror(errno));
        done += static_cast<size_t>(n);
    }
}

std::string fuzz_write_document()
{
    char *buffer = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&buffer, &length);
    if (out == nullptr)
        fuzz_fail("open_memstream: %s", std::strerror(errno));
    cfg_document_write(out);
    std::fclose(out);
    std::string document(buffer, length);
    std::free(buffer);
    return document;
}

void fuzz_check_reads_back(const std::string &document, fuzz_file &scratch, const char *what)
{
    scratch.write(document);
    cfg_exit();
    cfg_init();
    int result = cfg_document_read(scratch.path());
    std::string again = fuzz_write_document();
    cfg_exit();
    FUZZ_CHECK(result == 0, "%s does not read back:\n%s", what, document.c_str());
    FUZZ_CHECK(again == document,
               "%s reads back as another configuration:\n%s\n---- read back:\n%s", what,
               document.c_str(), again.c_str());
}
