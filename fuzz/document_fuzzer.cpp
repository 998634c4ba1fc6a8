// The version-1 reader on arbitrary bytes. Besides not crashing: a reload
// of the same file ends like the plain read and leaves the configuration
// the read left (the new one, or on failure the one before), and whatever
// a successful read gives writes out as a document that reads back the
// same. The checker never accepts what the reader refuses; what it
// accepts has no stream reference that names nothing, and its printed
// form checks out again and prints the same.
#include <cstdint>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "driver/cfgcheck.h"
#include "fuzz_support.h"

namespace {

void check_references(cfg_stream *stream, void *)
{
    const char *intake = cfg_stream_get_intake(stream);
    const char *server = cfg_stream_get_server(stream);
    const char *encoder = cfg_stream_get_encoder(stream);
    FUZZ_CHECK(intake == nullptr || cfg_intake_list_find(cfg_get_intakes(), intake) != nullptr,
               "accepted a stream whose intake %s does not exist", intake);
    FUZZ_CHECK(server == nullptr || cfg_server_list_find(cfg_get_servers(), server) != nullptr,
               "accepted a stream whose server %s does not exist", server);
    FUZZ_CHECK(encoder == nullptr || cfg_encoder_list_find(cfg_get_encoders(), encoder) != nullptr,
               "accepted a stream whose encoder %s does not exist", encoder);
}

void check_checker(const fuzz_file &input, fuzz_file &output, int read_result)
{
    cfg_init();
    const int checked = cfgcheck_file(input.path());
    FUZZ_CHECK(checked != 0 || read_result == 0, "the checker accepted a document the reader refused");
    if (checked == 0) {
        cfg_stream_list_foreach(cfg_get_streams(), check_references, nullptr);
        const std::string printed = fuzz_write_document();
        output.write(printed);
        FUZZ_CHECK(cfgcheck_file(output.path()) == 0, "the printed form is refused:\n%s",
                   printed.c_str());
        const std::string again = fuzz_write_document();
        FUZZ_CHECK(again == printed, "the printed form prints otherwise:\n%s\n---- again:\n%s",
                   printed.c_str(), again.c_str());
    }
    cfg_exit();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_quiet_log();
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
    check_checker(input, output, result);
    return 0;
}
