#include "support/xml_handle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/log.h"

namespace {

struct fd_guard {
    int fd;
    ~fd_guard()
    {
        if (fd >= 0)
            close(fd);
    }
};

} // namespace

xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end)
{
    // Reading through our own descriptor keeps the library from treating
    // the name as a URL or a compressed file, and lets us say plainly why a
    // file cannot be read.
    fd_guard file{open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) {
        log_error("%s: %s%s", path, std::strerror(errno), line_end);
        return nullptr;
    }
    struct stat st;
    if (fstat(file.fd, &st) != 0) {
        log_error("%s: %s%s", path, std::strerror(errno), line_end);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        log_error("%s: %s%s", path, std::strerror(EISDIR), line_end);
        return nullptr;
    }
    return xml_doc_ptr(xmlReadFd(file.fd, path, nullptr, 0));
}
