#include "cfg/cfg_file.h"

#include <cerrno>
#include <fcntl.h>

#include "support/log.h"

cfg_file cfg_file_open(const char *path, int flags)
{
    cfg_file file;
    file.fd = fd_guard(open(path, flags));
    struct stat st;
    if (!file.fd || fstat(file.fd.get(), &st) != 0) {
        file.error = errno;
        return file;
    }
    file.examined = true;
    file.mode = st.st_mode;
    return file;
}

cfg_mode_verdict cfg_mode_client_rule(mode_t mode)
{
    cfg_mode_verdict verdict;
    verdict.world_readable = (mode & S_IROTH) != 0;
    verdict.group_readable = !verdict.world_readable && (mode & S_IRGRP) != 0;
    verdict.world_writeable = (mode & S_IWOTH) != 0;
    return verdict;
}

cfg_mode_verdict cfg_mode_checker_rule(mode_t mode)
{
    cfg_mode_verdict verdict = cfg_mode_client_rule(mode);
    verdict.group_writeable = (mode & S_IWGRP) != 0;
    if ((mode & (S_IROTH | S_IWOTH | S_IWGRP)) != 0)
        verdict.chmod = (mode & S_IRWXU) | S_IRUSR;
    return verdict;
}

int cfg_mode_say(const char *name, const cfg_mode_verdict &verdict)
{
    if (verdict.world_readable)
        log_warning("%s: world readable", name);
    else if (verdict.group_readable)
        log_notice("%s: group readable", name);
    if (verdict.world_writeable) {
        log_error("%s: world writeable", name);
        return -1;
    }
    return 0;
}
