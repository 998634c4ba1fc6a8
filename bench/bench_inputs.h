// The version-0 files the benchmarks convert: a typical station, one with a
// full re-encoding table, and a large one of long description texts and
// many elements. All three convert without a warning, so that the figures
// measure the work and not the logging.
#pragma once

#include <cstddef>
#include <string>

namespace bench_inputs {

inline constexpr std::size_t kLargeSize = 10'000'000;

inline std::string typical()
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<onyxcast>
  <url>http://streamhost:8000/stream.ogg</url>
  <sourcepassword>hackme</sourcepassword>
  <format>vorbis</format>
  <filename>playlist.m3u</filename>
  <shuffle>1</shuffle>
  <svrinfoname>Harbour Radio</svrinfoname>
  <reencode>
    <enable>0</enable>
  </reencode>
</onyxcast>
)";
}

namespace detail {

struct table_entry {
    const char *format;
    const char *match;
    const char *decode;
    const char *encode; // only formats a version-1 encoder can produce
};

// Fifteen entries, the most a version-0 table holds: every stream format
// gets an encoder, and two formats merge into one decoder each.
inline constexpr table_entry kTable[] = {
    {"MP3", ".mp3", "madplay -q -b 16 -R 44100 -S -o raw:- @T@",
     "lame --quiet --preset cbr 128 -r -s 44.1 --bitwidth 16 --tt @t@ --ta @a@ - -"},
    {"VORBIS", ".ogg", "oggdec --quiet -R -o - @T@",
     "oggenc -r -B 16 -C 2 -R 44100 --raw-endianness 0 -q 4 -t @t@ -a @a@ -"},
    {"THEORA", ".ogv", "ffmpeg -loglevel quiet -i @T@ -vn -f s16le -", nullptr},
    {"VORBIS", ".oga", "oggdec --quiet -R -o - @T@", nullptr},
    {"WEBM", ".webm", "ffmpeg -loglevel quiet -i @T@ -vn -f s16le -",
     "ffmpeg -loglevel quiet -f s16le -ar 44100 -ac 2 -i - -c:a libopus -f webm -"},
    {"MATROSKA", ".mka", "ffmpeg -loglevel quiet -i @T@ -f s16le -",
     "ffmpeg -loglevel quiet -f s16le -ar 44100 -ac 2 -i - -c:a flac -f matroska -"},
    {"MATROSKA", ".mkv", "ffmpeg -loglevel quiet -i @T@ -vn -f s16le -", nullptr},
    {"FLAC", ".flac", "flac -s -d --force-raw-format --sign=signed --endian=little -o - @T@",
     nullptr},
    {"AAC", ".aac", "faad -q -f 2 -w @T@", nullptr},
    {"AAC", ".m4a", "faad -q -f 2 -w @T@", nullptr},
    {"OPUS", ".opus", "opusdec --quiet --rate 44100 @T@ -", nullptr},
    {"WAV", ".wav", "sox @T@ -t raw -", nullptr},
    {"AIFF", ".aiff", "sox @T@ -t raw -", nullptr},
    {"MP2", ".mp2", "madplay -q -b 16 -R 44100 -S -o raw:- @T@", nullptr},
    {"WMA", ".wma", "ffmpeg -loglevel quiet -i @T@ -f s16le -", nullptr},
};

inline void append_table(std::string &out)
{
    out += "  <reencode>\n    <enable>1</enable>\n";
    for (const table_entry &e : kTable) {
        out += "    <encdec>\n      <format>";
        out += e.format;
        out += "</format>\n      <match>";
        out += e.match;
        out += "</match>\n      <decode>";
        out += e.decode;
        out += "</decode>\n";
        if (e.encode != nullptr) {
            out += "      <encode>";
            out += e.encode;
            out += "</encode>\n";
        }
        out += "    </encdec>\n";
    }
    out += "  </reencode>\n";
}

inline void append_station(std::string &out, const char *format)
{
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<onyxcast>\n"
           "  <url>http://streamhost.example.org:8000/radio</url>\n"
           "  <sourceuser>source</sourceuser>\n"
           "  <sourcepassword>hackme</sourcepassword>\n"
           "  <format>";
    out += format;
    out += "</format>\n"
           "  <filename>/srv/radio/playlist.m3u</filename>\n"
           "  <shuffle>1</shuffle>\n"
           "  <reconnect_tries>10</reconnect_tries>\n"
           "  <metadata_format>@a@ - @t@</metadata_format>\n"
           "  <metadata_refreshinterval>30</metadata_refreshinterval>\n";
}

} // namespace detail

inline std::string full_table()
{
    std::string out;
    detail::append_station(out, "mp3");
    out += "  <svrinfoname>Harbour Radio</svrinfoname>\n"
           "  <svrinfodescription>Everything in the library, as MP3</svrinfodescription>\n";
    detail::append_table(out);
    out += "</onyxcast>\n";
    return out;
}

// About `size` bytes: the eight free-text descriptions of the stream share
// four fifths of it (each text node stays far below the parser's limit of
// 10,000,000 bytes), the rest is thousands of <reencode> sections, each read
// in turn, and a full table.
inline std::string large(std::size_t size = kLargeSize)
{
    static constexpr const char *kTexts[] = {
        "svrinfoname",     "svrinfourl",      "svrinfogenre",      "svrinfodescription",
        "svrinfobitrate",  "svrinfochannels", "svrinfosamplerate", "svrinfoquality",
    };
    static constexpr char kProse[] =
        "Jazz & blues around the clock, with <live> sessions from the harbour "
        "studio, interviews, and the weekly chart. ";

    std::string out;
    out.reserve(size + 4096);
    detail::append_station(out, "mp3");
    const std::size_t per_text = size * 4 / 5 / std::size(kTexts);
    for (const char *name : kTexts) {
        out += "  <";
        out += name;
        out += '>';
        std::size_t written = 0;
        while (written < per_text) {
            for (const char *p = kProse; *p != '\0'; p++) {
                if (*p == '&')
                    out += "&amp;", written += 5;
                else if (*p == '<')
                    out += "&lt;", written += 4;
                else
                    out += *p, written++;
            }
        }
        out += "</";
        out += name;
        out += ">\n";
    }
    detail::append_table(out);
    static constexpr char kSection[] = "  <reencode>\n    <enable>1</enable>\n  </reencode>\n";
    while (out.size() + sizeof kSection < size)
        out += kSection;
    out += "</onyxcast>\n";
    return out;
}

} // namespace bench_inputs
