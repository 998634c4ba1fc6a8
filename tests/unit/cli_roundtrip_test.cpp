// Every document a program printed in a successful golden case must read
// back into the model and be written again byte for byte: whatever the
// writer says, the reader must understand the same way. It must also pass
// the checker: a migrated document never has entries that merge or
// references that name nothing, and what the checker prints is the form
// it prints again.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_writer.h"
#include "driver/cfgcheck.h"
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

// The migration's header is ten lines, the checker's the XML declaration
// alone; the document follows.
std::string document_part(const std::string &output, int header_lines)
{
    size_t at = 0;
    for (int line = 0; line < header_lines && at != std::string::npos; line++)
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
    int checked_printed = 0;
    for (const auto &entry : fs::directory_iterator(ONYX_CLI_CASES)) {
        const fs::path dir = entry.path();
        if (fs::exists(dir / "expected.status") || !fs::exists(dir / "expected.stdout"))
            continue;
        std::string output = slurp(dir / "expected.stdout");
        if (output.rfind("<?xml", 0) != 0)
            continue;
        SCOPED_TRACE(dir.filename().string());
        const bool checker = fs::exists(dir / "program") &&
                             slurp(dir / "program") == "onyxcast-cfgcheck\n";

        test_support::TempFile file(output, "new.xml");
        chmod(file.c_path(), 0600);
        cfg_init();
        int result = -1;
        std::string messages =
            test_support::capture_log([&] { result = cfg_document_read(file.c_path()); });
        EXPECT_EQ(result, 0) << messages;
        EXPECT_EQ(messages, "");
        EXPECT_EQ(write_active(), document_part(output, checker ? 1 : 10));

        messages = test_support::capture_log([&] { result = cfgcheck_file(file.c_path()); });
        EXPECT_EQ(result, 0) << messages;
        EXPECT_EQ(messages, "");
        if (checker) {
            EXPECT_EQ(kCfgDocumentDeclaration + write_active(), output);
            checked_printed++;
        }
        cfg_exit();
        checked++;
    }
    EXPECT_GE(checked, 10) << "the golden cases should hold many successful migrations";
    EXPECT_GE(checked_printed, 2) << "the golden cases should hold printed checked files";
}

} // namespace
