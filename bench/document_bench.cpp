// The version-1 writer and reader on documents of 10 to 100,000 entries,
// spread evenly over the five lists. Entries are named, so the reader looks
// every one up by name in lists as long as a real file of that size gives.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_file.h"
#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_writer.h"

namespace {

constexpr const char *kFormats[] = {"Ogg", "MP3", "WebM", "Matroska"};

void fill_server(int i)
{
    const std::string name = "server-" + std::to_string(i);
    const std::string host = "stream" + std::to_string(i) + ".example.org";
    const std::string port = std::to_string(8000 + i % 1000);
    cfg_server_list list = cfg_get_servers();
    cfg_server *s = cfg_server_list_get(list, name.c_str());
    cfg_server_set_hostname(s, list, host.c_str(), nullptr);
    cfg_server_set_port(s, list, port.c_str(), nullptr);
    cfg_server_set_password(s, list, "hackme", nullptr);
    cfg_server_set_reconnect_attempts(s, list, "10", nullptr);
}

void fill_stream(int i)
{
    const std::string name = "stream-" + std::to_string(i);
    const std::string mount = "/radio" + std::to_string(i) + ".ogg";
    cfg_stream_list list = cfg_get_streams();
    cfg_stream *s = cfg_stream_list_get(list, name.c_str());
    cfg_stream_set_mountpoint(s, list, mount.c_str(), nullptr);
    cfg_stream_set_server(s, list, ("server-" + std::to_string(i)).c_str(), nullptr);
    cfg_stream_set_intake(s, list, ("intake-" + std::to_string(i)).c_str(), nullptr);
    cfg_stream_set_format(s, list, kFormats[i % 4], nullptr);
    cfg_stream_set_public(s, list, "yes", nullptr);
    cfg_stream_set_stream_name(s, list, "Harbour Radio", nullptr);
    cfg_stream_set_stream_genre(s, list, "Jazz & Blues", nullptr);
    cfg_stream_set_stream_description(s, list, "Jazz and blues around the clock", nullptr);
}

void fill_intake(int i)
{
    const std::string name = "intake-" + std::to_string(i);
    const std::string file = "/srv/radio/playlist" + std::to_string(i) + ".m3u";
    cfg_intake_list list = cfg_get_intakes();
    cfg_intake *in = cfg_intake_list_get(list, name.c_str());
    cfg_intake_set_type(in, list, "playlist", nullptr);
    cfg_intake_set_filename(in, list, file.c_str(), nullptr);
    cfg_intake_set_shuffle(in, list, "yes", nullptr);
}

void fill_decoder(int i)
{
    const std::string name = "decoder-" + std::to_string(i);
    const std::string ext = ".x" + std::to_string(i);
    cfg_decoder_list list = cfg_get_decoders();
    cfg_decoder *d = cfg_decoder_list_get(list, name.c_str());
    cfg_decoder_set_program(d, list, "ffmpeg -loglevel quiet -i @T@ -f s16le -", nullptr);
    cfg_decoder_add_ext(d, list, ext.c_str(), nullptr);
}

void fill_encoder(int i)
{
    const std::string name = "encoder-" + std::to_string(i);
    cfg_encoder_list list = cfg_get_encoders();
    cfg_encoder *e = cfg_encoder_list_get(list, name.c_str());
    cfg_encoder_set_format_str(e, list, kFormats[i % 4], nullptr);
    cfg_encoder_set_program(e, list, "oggenc -r -q 4 -t @t@ -a @a@ -", nullptr);
}

// `entries` entries in all, the five kinds taking turns.
void fill(int entries)
{
    cfg_init();
    for (int i = 0; i < entries; i++) {
        switch (i % 5) {
        case 0:
            fill_server(i / 5);
            break;
        case 1:
            fill_stream(i / 5);
            break;
        case 2:
            fill_intake(i / 5);
            break;
        case 3:
            fill_decoder(i / 5);
            break;
        default:
            fill_encoder(i / 5);
            break;
        }
    }
    cfg_set_metadata_format_str("@a@ - @t@", nullptr);
    cfg_set_metadata_refresh_interval("30", nullptr);
}

std::string document_text()
{
    char *text = nullptr;
    std::size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    cfg_document_write(out);
    std::fclose(out);
    std::string document(text, size);
    std::free(text);
    return document;
}

void BM_Write(benchmark::State &state)
{
    const int entries = static_cast<int>(state.range(0));
    fill(entries);
    const std::size_t size = document_text().size();
    FILE *out = bench_null_output();
    for (auto _ : state) {
        cfg_document_write(out);
        std::fflush(out);
    }
    cfg_exit();
    state.SetItemsProcessed(state.iterations() * entries);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_Read(benchmark::State &state)
{
    const int entries = static_cast<int>(state.range(0));
    fill(entries);
    const std::string document = document_text();
    cfg_exit();
    const bench_file file(document);
    for (auto _ : state) {
        cfg_clear(cfg_active());
        if (cfg_document_read(file.path()) != 0) {
            state.SkipWithError("the document does not read back");
            break;
        }
    }
    if (cfg_server_list_count(cfg_get_servers()) != static_cast<unsigned int>((entries + 4) / 5))
        state.SkipWithError("the document read back with another number of servers");
    cfg_exit();
    state.SetItemsProcessed(state.iterations() * entries);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

} // namespace

BENCHMARK(BM_Write)->RangeMultiplier(10)->Range(10, 100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Read)->RangeMultiplier(10)->Range(10, 100000)->Unit(benchmark::kMicrosecond);
