#include "support/xml_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include "support/log.h"

// The line end belongs to the format: a value is shown with its control
// characters escaped (see log_input).
void xml_report_unreadable(const char *path, int errnum, const char *line_end)
{
    if (line_end[0] == '\n')
        log_error("%s: %s\n", path, std::strerror(errnum));
    else
        log_error("%s: %s", path, std::strerror(errnum));
}

bool xml_prepare_fd(int fd, const char *name, const char *line_end)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        xml_report_unreadable(name, errno, line_end);
        return false;
    }
    return xml_prepare_mode(st.st_mode, name, line_end);
}

bool xml_prepare_mode(mode_t mode, const char *name, const char *line_end)
{
    if (S_ISDIR(mode)) {
        xml_report_unreadable(name, EISDIR, line_end);
        return false;
    }
    return true;
}

int xml_open_local_file(const char *path, const char *line_end)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        xml_report_unreadable(path, errno, line_end);
    return fd;
}

int xml_read_memory(void *context, char *buffer, int len)
{
    auto *input = static_cast<xml_memory_input *>(context);
    const size_t n = std::min(input->left, static_cast<size_t>(len > 0 ? len : 0));
    std::memcpy(buffer, input->bytes, n);
    input->bytes += n;
    input->left -= n;
    return static_cast<int>(n);
}
