// The whole migration on arbitrary bytes taken as a version-0 file: read,
// convert, write. Beyond not crashing, a failed read must leave no record
// behind, and a migrated document must read back as the configuration it
// was written from: it is meant to become the new configuration file.
#include <cstdint>
#include <cstring>

#include "cfg/cfg.h"
#include "driver/cfgmigrate.h"
#include "fuzz_support.h"
#include "legacy/legacy_config.h"

namespace {

bool record_is_empty(const legacy_config &record)
{
    static const legacy_config kEmpty{};
    return std::memcmp(&record, &kEmpty, sizeof record) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_quiet_xml();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz_file input("migrate");
    static fuzz_file output("migrate-out");
    input.write(data, size);

    cfg_init();
    cfg_set_program_name("onyxcast-cfgmigrate", nullptr);
    cfgmigrate_set_input_path(input.path());
    legacy_config *record = legacy_config_get();
    std::string document;
    if (legacy_config_read(input.path()) != 0) {
        if (cfgmigrate_convert(record) == 0)
            document = fuzz_write_document();
        legacy_config_free(record);
    }
    FUZZ_CHECK(record_is_empty(*record), "the record is not empty after the run");
    cfg_exit();

    if (!document.empty())
        fuzz_check_reads_back(document, output, "the migrated document");
    return 0;
}
