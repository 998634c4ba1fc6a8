// Writes the benchmark inputs into the folder given as the only argument:
// typical.xml, full-table.xml and large.xml.
#include <cstdio>
#include <string>

#include "bench_inputs.h"

namespace {

bool write_file(const std::string &path, const std::string &content)
{
    FILE *out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok)
        std::perror(path.c_str());
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argc > 0 ? argv[0] : "make_inputs");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = write_file(dir + "/typical.xml", bench_inputs::typical()) &&
                    write_file(dir + "/full-table.xml", bench_inputs::full_table()) &&
                    write_file(dir + "/large.xml", bench_inputs::large());
    return ok ? 0 : 1;
}
