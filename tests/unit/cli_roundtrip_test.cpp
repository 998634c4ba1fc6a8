// Every document the tool printed in a successful golden case must read
// back into the model and be written again byte for byte: whatever the
// writer says, the reader must understand the same way.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_writer.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The driver's header is ten lines; the document follows.
std::string document_part(const std::string &output)
{
    size_t at = 0;
    for (int line = 0; line < 10 && at != std::string::npos; line++)
        at = output.find('\n', at) + 1;
    return output.substr(at);
}

std::string write_active()
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *mem = open_memstream(&buffer, &size);
    cfg_document_write(mem);
    std::fclose(mem);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(CliRoundTrip, EverySuccessfulGoldenDocumentReadsBackUnchanged)
{
    int checked = 0;
    for (const auto &entry : fs::directory_iterator(ONYX_CLI_CASES)) {
        const fs::path dir = entry.path();
        if (fs::exists(dir / "expected.status") || !fs::exists(dir / "expected.stdout"))
            continue;
        std::string output = slurp(dir / "expected.stdout");
        if (output.rfind("<?xml", 0) != 0)
            continue;
        SCOPED_TRACE(dir.filename().string());

        test_support::TempFile file(output, "new.xml");
        chmod(file.c_path(), 0600);
        cfg_init();
        int result = -1;
        std::string messages =
            test_support::capture_log([&] { result = cfg_document_read(file.c_path()); });
        EXPECT_EQ(result, 0) << messages;
        EXPECT_EQ(messages, "");
        EXPECT_EQ(write_active(), document_part(output));
        cfg_exit();
        checked++;
    }
    EXPECT_GE(checked, 10) << "the golden cases should hold many successful migrations";
}

} // namespace
