// The re-encoding table on its own: rows in, entries and warnings out.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg_stream.h"
#include "driver/cfgmigrate_reencode.h"
#include "support/log.h"
#include "test_support.h"

namespace {

using Rows = std::vector<cfgmigrate_reencode_row>;
using Lines = std::vector<std::string>;

std::string shown(const cfgmigrate_reencode_warning &w)
{
    std::string line = std::string(w.label) + ": " + w.reason;
    if (w.value != nullptr)
        line += std::string(": ") + w.value;
    return line;
}

// Entries as one line each: "NAME: PROGRAM [EXT ...]" for a decoder,
// "NAME (FORMAT): PROGRAM" for an encoder.
struct Outcome {
    Lines decoders;
    Lines encoders;
    Lines warnings;
};

Outcome run(const Rows &rows)
{
    Outcome out;
    const cfgmigrate_reencode_entries entries = cfgmigrate_reencode(
        rows, [&](const cfgmigrate_reencode_warning &w) { out.warnings.push_back(shown(w)); });
    for (const cfgmigrate_reencode_decoder &d : entries.decoders) {
        std::string line = d.name + ": " + d.program + " [";
        for (const std::string &ext : d.exts)
            line += (line.back() == '[' ? "" : " ") + ext;
        out.decoders.push_back(line + "]");
    }
    for (const cfgmigrate_reencode_encoder &e : entries.encoders) {
        const char *format = cfg_stream_format_name(e.format);
        out.encoders.push_back(e.name + " (" + (format != nullptr ? format : "?") +
                               "): " + e.program);
    }
    return out;
}

TEST(CfgmigrateReencode, RowsBecomeEntriesAndWarnings)
{
    struct Case {
        const char *what;
        Rows rows; // format, match, decode, encode
        Outcome expected;
    };
    const char *const taken = "\"default\" already taken";
    const Case cases[] = {
        {"an empty row makes nothing", {{}}, {}},
        {"decoders of one format name merge, the last command wins",
         {{"VORBIS", ".ogg", "oggdec @T@", nullptr}, {"THEORA", ".ogv", "ffmpeg @T@", nullptr}},
         {{"Ogg: ffmpeg @T@ [.ogg .ogv]"}, {}, {}}},
        {"a second encoder of a format stays unnamed, and comes last",
         {{"MP3", nullptr, nullptr, "lame -b 128 -"},
          {"MP3", nullptr, nullptr, "lame -b 64 -"},
          {"VORBIS", nullptr, nullptr, "oggenc -"}},
         {{},
          {"MP3 (MP3): lame -b 128 -", "Ogg (Ogg): oggenc -", "default (MP3): lame -b 64 -"},
          {"<format> (encoder): already exists: MP3"}}},
        {"a third encoder of a format finds the unnamed one taken",
         {{"MP3", nullptr, nullptr, "lame -b 128 -"},
          {"MP3", nullptr, nullptr, "lame -b 64 -"},
          {"MP3", nullptr, nullptr, "lame -b 32 -"}},
         {{},
          {"MP3 (MP3): lame -b 128 -", "default (MP3): lame -b 64 -"},
          {"<format> (encoder): already exists: MP3",
           std::string("<encdec> (encoder): ") + taken + ": lame -b 32 -"}}},
        {"an encoder without a format fails its check, the unnamed one taken or not",
         {{nullptr, ".wav", nullptr, "cat -"},
          {"MP3", nullptr, nullptr, "lame -b 128 -"},
          {"MP3", nullptr, nullptr, "lame -b 64 -"},
          {nullptr, ".wav", nullptr, "cat -"}},
         {{},
          {"MP3 (MP3): lame -b 128 -", "default (MP3): lame -b 64 -"},
          {"<encdec> (encoder): format not set", "<format> (encoder): already exists: MP3",
           "<encdec> (encoder): format not set"}}},
        {"an unsupported format costs two warnings",
         {{"FLAC", ".flac", "flac -d @T@", "flac -"}},
         {{"FLAC: flac -d @T@ [.flac]"},
          {},
          {"<format> (encoder): unsupported stream format: FLAC",
           "<encdec> (encoder): format not set"}}},
        {"decoders that fail their check are left out",
         {{"MP3", nullptr, "madplay @T@", nullptr}, {"VORBIS", ".ogg", "oggdec", nullptr}},
         {{},
          {},
          {"<encdec> (decoder): no file extensions registered",
           "<encdec> (decoder): missing placeholder @T@"}}},
        {"a decoder that gives up its only extension is left out",
         {{"VORBIS", ".ogg", "oggdec @T@", nullptr}, {"FLAC", ".OGG", "ogg123 @T@", nullptr}},
         {{"FLAC: ogg123 @T@ [.ogg]"}, {}, {"<encdec> (decoder): no file extensions registered"}}},
        {"the unnamed decoder comes last; a second one is dropped by its command",
         {{nullptr, ".wav", "cat @T@", nullptr},
          {"MP3", ".mp3", "madplay @T@", nullptr},
          {nullptr, ".aiff", "sox @T@", nullptr}},
         {{"MP3: madplay @T@ [.mp3]", "default: cat @T@ [.wav]"},
          {},
          {std::string("<encdec> (decoder): ") + taken + ": sox @T@"}}},
        {"a format called default does not take the unnamed decoder over",
         {{nullptr, ".a", "first @T@", nullptr}, {"DEFAULT", ".b", "second @T@", nullptr}},
         {{"default: first @T@ [.a]"},
          {},
          {std::string("<encdec> (decoder): ") + taken + ": second @T@"}}},
        {"a format called default makes the unnamed decoder when it is free, and only once",
         {{"DEFAULT", ".b", "second @T@", nullptr},
          {"MP3", ".mp3", "madplay @T@", nullptr},
          {nullptr, ".a", "first @T@", nullptr},
          {"Default", ".c", "third @T@", nullptr}},
         {{"MP3: madplay @T@ [.mp3]", "default: second @T@ [.b]"},
          {},
          {std::string("<encdec> (decoder): ") + taken + ": first @T@",
           std::string("<encdec> (decoder): ") + taken + ": third @T@"}}},
        {"an encoder whose format is called default never joins the unnamed one",
         {{"DEFAULT", nullptr, nullptr, "x -"},
          {"MP3", nullptr, nullptr, "lame -b 128 -"},
          {"MP3", nullptr, nullptr, "lame -b 64 -"},
          {"DEFAULT", nullptr, nullptr, "y -"}},
         {{},
          {"MP3 (MP3): lame -b 128 -", "default (MP3): lame -b 64 -"},
          {"<format> (encoder): unsupported stream format: DEFAULT",
           "<encdec> (encoder): format not set", "<format> (encoder): already exists: MP3",
           std::string("<encdec> (encoder): ") + taken + ": y -"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome out = run(c.rows);
        EXPECT_EQ(out.decoders, c.expected.decoders);
        EXPECT_EQ(out.encoders, c.expected.encoders);
        EXPECT_EQ(out.warnings, c.expected.warnings);
    }
}

// The model tells of an extension that moves to another decoder itself;
// a warning reported when it arises keeps its place around that notice.
TEST(CfgmigrateReencode, WarningsKeepTheirPlaceAmongTheModelsNotices)
{
    const Rows rows = {
        {"FLAC", nullptr, nullptr, "flac -"},
        {"VORBIS", ".ogg", "oggdec @T@", nullptr},
        {"FLAC", ".OGG", "ogg123 @T@", nullptr},
    };
    const std::string log = test_support::capture_log(
        [&] {
            cfgmigrate_reencode(rows, [](const cfgmigrate_reencode_warning &w) {
                log_warning("%s", shown(w).c_str());
            });
        },
        1);
    const size_t format = log.find("format not set");
    const size_t moved = log.find("relocating match from Ogg to FLAC");
    const size_t dropped = log.find("no file extensions registered");
    ASSERT_NE(format, std::string::npos) << log;
    ASSERT_NE(moved, std::string::npos) << log;
    ASSERT_NE(dropped, std::string::npos) << log;
    EXPECT_LT(format, moved) << log;
    EXPECT_LT(moved, dropped) << log;
}

} // namespace
