// Runs a harness on files instead of generated inputs: each argument is a
// file, or a folder whose files are all taken. CTest replays the corpora
// this way in builds without the fuzzer, and a finding replays under a
// debugger the same way.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool replay(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    unsigned int count = 0;
    bool ok = true;
    for (int i = 1; i < argc; i++) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> files;
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto &file : files) {
                ok = replay(file) && ok;
                count++;
            }
        } else {
            ok = replay(arg) && ok;
            count++;
        }
    }
    std::printf("%u inputs replayed\n", count);
    return ok && count > 0 ? 0 : 1;
}
