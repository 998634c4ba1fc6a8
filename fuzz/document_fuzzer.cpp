// The version-1 reader on arbitrary bytes. Besides not crashing: a reload
// of the same file ends like the plain read and leaves the configuration
// the read left (the new one, or on failure the one before), and whatever
// a successful read gives writes out as a document that reads back the
// same.
#include <cstdint>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_quiet_xml();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz_file input("document");
    static fuzz_file output("document-out");
    input.write(data, size);

    cfg_init();
    const int result = cfg_document_read(input.path());
    const std::string document = fuzz_write_document();

    FUZZ_CHECK(cfg_set_program_config_file(input.path(), nullptr) == 0, "config file refused");
    const int reloaded = cfg_reload_file();
    FUZZ_CHECK(reloaded == result, "read gave %d, reload %d", result, reloaded);
    const std::string after_reload = fuzz_write_document();
    FUZZ_CHECK(after_reload == document,
               "reload left another configuration:\n%s\n---- after the reload:\n%s",
               document.c_str(), after_reload.c_str());
    cfg_exit();

    if (result == 0)
        fuzz_check_reads_back(document, output, "the document written after the read");
    return 0;
}
