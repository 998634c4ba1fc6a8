// Read, convert and write in one process, on the three inputs of
// bench/run.sh, and the reading and writing apart, so that a slow whole can
// be traced to its part.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "bench_file.h"
#include "bench_inputs.h"
#include "cfg/cfg.h"
#include "cfg/cfg_writer.h"
#include "driver/cfgmigrate_convert.h"
#include "legacy/legacy_config.h"

namespace {

using input_fn = std::string (*)();

std::string large_input()
{
    return bench_inputs::large();
}

// One file per input for the whole run: making 10 MB anew for every
// benchmark would only slow the run down.
const bench_file &input(input_fn make)
{
    static std::map<input_fn, std::unique_ptr<bench_file>> files;
    auto &file = files[make];
    if (!file)
        file = std::make_unique<bench_file>(make());
    return *file;
}

void read_or_skip(benchmark::State &state, const char *path)
{
    if (legacy_config_read(path) != 1)
        state.SkipWithError("the input does not read");
}

void convert_or_skip(benchmark::State &state, const char *path)
{
    if (cfgmigrate_convert(legacy_config_get(), path) != 0)
        state.SkipWithError("the input does not convert");
}

void set_bytes(benchmark::State &state, const char *path)
{
    FILE *in = std::fopen(path, "r");
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::fclose(in);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void BM_ReadConvertWrite(benchmark::State &state, input_fn make)
{
    const char *path = input(make).path();
    FILE *out = bench_null_output();
    for (auto _ : state) {
        cfg_init();
        read_or_skip(state, path);
        convert_or_skip(state, path);
        cfg_document_write(out);
        std::fflush(out);
        legacy_config_free(legacy_config_get());
        cfg_exit();
    }
    set_bytes(state, path);
}

void BM_Read(benchmark::State &state, input_fn make)
{
    const char *path = input(make).path();
    for (auto _ : state) {
        read_or_skip(state, path);
        legacy_config_free(legacy_config_get());
    }
    set_bytes(state, path);
}

void BM_Write(benchmark::State &state, input_fn make)
{
    const char *path = input(make).path();
    FILE *out = bench_null_output();
    cfg_init();
    read_or_skip(state, path);
    convert_or_skip(state, path);
    for (auto _ : state) {
        cfg_document_write(out);
        std::fflush(out);
    }
    legacy_config_free(legacy_config_get());
    cfg_exit();
}

} // namespace

BENCHMARK_CAPTURE(BM_ReadConvertWrite, typical, bench_inputs::typical)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadConvertWrite, full_table, bench_inputs::full_table)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadConvertWrite, large, large_input)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, large, large_input)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, large, large_input)->Unit(benchmark::kMillisecond);
