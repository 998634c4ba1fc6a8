// Reads each version-1 document named on the command line into a fresh
// configuration with cfg_document_read, as the client does on start and on
// reload, and nothing else: the process to time from outside when the
// question is how reading grows with a document (bench/scale.sh).
#include <cstdio>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "support/alloc.h"
#include "support/log.h"

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s file ...\n", argc > 0 ? argv[0] : "read_document");
        return 2;
    }
    xalloc_install_new_handler();
    log_init("read_document");
    int status = 0;
    for (int i = 1; i < argc; i++) {
        cfg_init();
        if (cfg_document_read(argv[i]) != 0)
            status = 1;
    }
    cfg_exit();
    log_exit();
    return status;
}
