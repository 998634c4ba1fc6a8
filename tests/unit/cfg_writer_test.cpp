#include "cfg/cfg_writer.h"

#include <functional>
#include <string>

#include "cfg/cfg_fields.h"
#include "cfg_fields_support.h"
#include "test_support.h"

namespace {

using test_support::capture_stream;

std::string document()
{
    return capture_stream([](FILE *out) { cfg_document_write(out); });
}

// The lines between "  <NAME>" and "  </NAME>", or "absent" when the
// document has no such section.
std::string section(const std::string &doc, const std::string &name)
{
    const std::string open = "\n  <" + name + ">\n";
    const std::string close = "  </" + name + ">\n";
    size_t start = doc.find(open);
    if (start == std::string::npos)
        return "absent";
    start += open.size();
    return doc.substr(start, doc.find(close, start) - start);
}

// Runs one setter call that names `reason` as its errstrp and expects it
// to succeed.
#define SET(call)                                                                                  \
    do {                                                                                           \
        const char *reason = nullptr;                                                              \
        const int result = (call);                                                                 \
        ASSERT_EQ(result, 0) << #call << ": " << reason;                                           \
    } while (0)

class CfgWriter : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }

    static cfg_server *server(const char *name = "default")
    {
        return cfg_server_list_get(cfg_get_servers(), name);
    }
    static cfg_stream *stream(const char *name = "default")
    {
        return cfg_stream_list_get(cfg_get_streams(), name);
    }
    static cfg_intake *intake(const char *name = "default")
    {
        return cfg_intake_list_get(cfg_get_intakes(), name);
    }
    static cfg_decoder *decoder(const char *name = "default")
    {
        return cfg_decoder_list_get(cfg_get_decoders(), name);
    }
    static cfg_encoder *encoder(const char *name = "default")
    {
        return cfg_encoder_list_get(cfg_get_encoders(), name);
    }
    static void set_every_setting();
};

TEST_F(CfgWriter, EmptyConfigurationHasOnlyTheThreeListSections)
{
    EXPECT_EQ(document(), "<onyxcast>\n"
                          "\n"
                          "  <servers>\n"
                          "  </servers>\n"
                          "\n"
                          "  <streams>\n"
                          "  </streams>\n"
                          "\n"
                          "  <intakes>\n"
                          "  </intakes>\n"
                          "</onyxcast>\n");
}

TEST_F(CfgWriter, WritesTheMigratedExampleByteForByte)
{
    cfg_server_list servers = cfg_get_servers();
    SET(cfg_server_set_hostname(server(), servers, "streamhost", &reason));
    SET(cfg_server_set_port(server(), servers, "80", &reason));
    SET(cfg_server_set_password(server(), servers, "hackme", &reason));

    cfg_stream_list streams = cfg_get_streams();
    SET(cfg_stream_set_mountpoint(stream(), streams, "/stream.mp3", &reason));
    SET(cfg_stream_set_format(stream(), streams, "MP3", &reason));
    SET(cfg_stream_set_encoder(stream(), streams, "MP3", &reason));

    cfg_intake_list intakes = cfg_get_intakes();
    SET(cfg_intake_set_filename(intake(), intakes, "playlist.m3u", &reason));
    SET(cfg_intake_set_shuffle(intake(), intakes, "1", &reason));

    // As the migration makes them: created as "default", then named.
    cfg_decoder_list decoders = cfg_get_decoders();
    const char *decoders_made[][3] = {{"decode-ogg @T@", "Ogg", ".ogg"},
                                      {"decode-mp3 @T@", "MP3", ".mp3"}};
    for (const auto &made : decoders_made) {
        cfg_decoder *d = decoder();
        SET(cfg_decoder_set_program(d, decoders, made[0], &reason));
        SET(cfg_decoder_set_name(d, decoders, made[1], &reason));
        SET(cfg_decoder_add_ext(d, decoders, made[2], &reason));
    }
    cfg_encoder_list encoders = cfg_get_encoders();
    cfg_encoder *e = encoder();
    SET(cfg_encoder_set_program(e, encoders, "encode-mp3", &reason));
    SET(cfg_encoder_set_name(e, encoders, "MP3", &reason));
    SET(cfg_encoder_set_format_str(e, encoders, "MP3", &reason));

    EXPECT_EQ(document(), R"(<onyxcast>

  <servers>
    <server>
      <protocol>http</protocol>
      <hostname>streamhost</hostname>
      <port>80</port>
      <password>hackme</password>
    </server>
  </servers>

  <streams>
    <stream>
      <mountpoint>/stream.mp3</mountpoint>
      <format>MP3</format>
      <encoder>MP3</encoder>
    </stream>
  </streams>

  <intakes>
    <intake>
      <filename>playlist.m3u</filename>
      <shuffle>yes</shuffle>
    </intake>
  </intakes>

  <decoders>
    <decoder>
      <name>Ogg</name>
      <program>decode-ogg @T@</program>
      <file_ext>.ogg</file_ext>
    </decoder>
    <decoder>
      <name>MP3</name>
      <program>decode-mp3 @T@</program>
      <file_ext>.mp3</file_ext>
    </decoder>
  </decoders>

  <encoders>
    <encoder>
      <name>MP3</name>
      <format>MP3</format>
      <program>encode-mp3</program>
    </encoder>
  </encoders>
</onyxcast>
)");
}

// One entry of each kind, and the metadata, with every field of the
// registry set to a value the writer writes.
void CfgWriter::set_every_setting()
{
    using namespace cfg_fields_support;
    for_each_field("default", [](const cfg_section_info &section, const cfg_field_info &field,
                                 auto set, auto) {
        const std::string value = sample_value(field, seed_of(section, field));
        const char *reason = nullptr;
        ASSERT_EQ(set(value.c_str(), &reason), 0)
            << "<" << field.element << ">" << value << ": " << reason;
    });
}

// The document of set_every_setting: every section in the registry's
// order, every field in its table's order, each with the value the writer
// makes of its sample.
std::string every_setting_document()
{
    using namespace cfg_fields_support;
    std::string doc = std::string("<") + kCfgDocumentRoot + ">\n";
    for (const cfg_section_info &section : kCfgSections) {
        doc += std::string("\n  <") + section.section + ">\n";
        const std::string indent = section.entry != nullptr ? "      " : "    ";
        if (section.entry != nullptr)
            doc += std::string("    <") + section.entry + ">\n";
        for (const cfg_field_info &field : section.fields) {
            const std::string value = sample_value(field, seed_of(section, field));
            doc += indent + "<" + field.element + ">" + written_value(field, value) + "</" +
                   field.element + ">\n";
        }
        if (section.entry != nullptr)
            doc += std::string("    </") + section.entry + ">\n";
        doc += std::string("  </") + section.section + ">\n";
    }
    return doc + "</" + kCfgDocumentRoot + ">\n";
}

// Every line of every block: element names, their order and the values as
// written, words in their table's spelling and booleans as "yes". The
// registry's own test holds the names and the order against the manual
// page.
TEST_F(CfgWriter, WritesEverySettingInTableOrder)
{
    set_every_setting();
    EXPECT_EQ(document(), every_setting_document());
}

// A print to show others has a fixed mark for every value of a secret
// field (the passwords), however long, and every other line as the full
// print has it.
TEST_F(CfgWriter, HidingSecretsChangesThePasswordsAndNothingElse)
{
    set_every_setting();
    cfg_server_list servers = cfg_get_servers();
    cfg_server *backup = server("backup");
    SET(cfg_server_set_hostname(backup, servers, "backup", &reason));
    SET(cfg_server_set_password(backup, servers, std::string(255, 'p').c_str(), &reason));
    server("no-password");
    SET(cfg_decoder_add_ext(decoder("mp3"), cfg_get_decoders(), ".mp3", &reason));

    std::string expected = document();
    unsigned int secret_fields = 0;
    unsigned int hidden = 0;
    for (const cfg_section_info &section : kCfgSections) {
        for (const cfg_field_info &field : section.fields) {
            if (!field.secret)
                continue;
            secret_fields++;
            const std::string open = std::string("<") + field.element + ">";
            const std::string close = std::string("</") + field.element + ">";
            for (size_t at = expected.find(open); at != std::string::npos;
                 at = expected.find(open, at + 1)) {
                const size_t value = at + open.size();
                expected.replace(value, expected.find(close, value) - value, kCfgSecretMark);
                hidden++;
            }
        }
    }
    // Each secret field once, and the backup's password.
    EXPECT_EQ(hidden, secret_fields + 1);
    EXPECT_EQ(capture_stream(cfg_document_write_redacted), expected);
}

struct DefaultCase {
    const char *name;
    std::function<void()> setup;
    const char *section;
    const char *expected; // the section's lines, or "absent"
};

class CfgWriterDefaults : public CfgWriter, public testing::WithParamInterface<DefaultCase> {};

TEST_P(CfgWriterDefaults, LeavesOutLinesAtTheirDefault)
{
    GetParam().setup();
    EXPECT_EQ(section(document(), GetParam().section), GetParam().expected);
}

void server_setting(int (*setter)(cfg_server *, cfg_server_list, const char *, const char **),
                    const char *value)
{
    cfg_server_list list = cfg_get_servers();
    const char *reason = nullptr;
    ASSERT_EQ(setter(cfg_server_list_get(list, "default"), list, value, &reason), 0) << reason;
}

constexpr const char kBareServer[] = "    <server>\n"
                                     "      <protocol>http</protocol>\n"
                                     "    </server>\n";

const DefaultCase kDefaultCases[] = {
    {"port_8000", [] { server_setting(cfg_server_set_port, "8000"); }, "servers", kBareServer},
    {"user_source_in_capitals", [] { server_setting(cfg_server_set_user, "SOURCE"); }, "servers",
     kBareServer},
    {"tls_may", [] { server_setting(cfg_server_set_tls, "MAY"); }, "servers", kBareServer},
    {"reconnect_0", [] { server_setting(cfg_server_set_reconnect_attempts, "0"); }, "servers",
     kBareServer},
    {"https_implies_required_tls", [] { server_setting(cfg_server_set_protocol, "https"); },
     "servers",
     "    <server>\n"
     "      <protocol>https</protocol>\n"
     "      <tls>required</tls>\n"
     "    </server>\n"},
    {"https_overrides_tls_none",
     [] {
         server_setting(cfg_server_set_tls, "none");
         server_setting(cfg_server_set_protocol, "https");
     },
     "servers",
     "    <server>\n"
     "      <protocol>https</protocol>\n"
     "      <tls>required</tls>\n"
     "    </server>\n"},
    {"intake_autodetect_and_flags_off",
     [] {
         cfg_intake_list list = cfg_get_intakes();
         cfg_intake *i = cfg_intake_list_get(list, "default");
         cfg_intake_set_type(i, list, "autodetect", nullptr);
         cfg_intake_set_shuffle(i, list, "no", nullptr);
         cfg_intake_set_stream_once(i, list, "0", nullptr);
     },
     "intakes",
     "    <intake>\n"
     "    </intake>\n"},
    {"stream_without_format_or_public",
     [] {
         cfg_stream_list list = cfg_get_streams();
         cfg_stream_set_public(cfg_stream_list_get(list, "default"), list, "false", nullptr);
     },
     "streams",
     "    <stream>\n"
     "    </stream>\n"},
    {"encoder_without_format",
     [] {
         cfg_encoder_list list = cfg_get_encoders();
         cfg_encoder_set_program(cfg_encoder_list_get(list, "default"), list, "enc", nullptr);
     },
     "encoders",
     "    <encoder>\n"
     "      <program>enc</program>\n"
     "    </encoder>\n"},
    {"refresh_interval_minus_1", [] { cfg_set_metadata_refresh_interval("-1", nullptr); },
     "metadata", "absent"},
    {"refresh_interval_negative", [] { cfg_set_metadata_refresh_interval("-20", nullptr); },
     "metadata", "absent"},
    {"metadata_flags_off",
     [] {
         cfg_set_metadata_no_updates("no", nullptr);
         cfg_set_metadata_normalize_strings("false", nullptr);
     },
     "metadata", "absent"},
    {"refresh_interval_0_alone", [] { cfg_set_metadata_refresh_interval("0", nullptr); },
     "metadata", "    <refresh_interval>0</refresh_interval>\n"},
    {"no_updates_alone", [] { cfg_set_metadata_no_updates("YES", nullptr); }, "metadata",
     "    <no_updates>yes</no_updates>\n"},
    {"empty_decoder_list",
     [] {
         cfg_decoder_list list = cfg_get_decoders();
         cfg_decoder *d = cfg_decoder_list_get(list, "default");
         cfg_decoder_list_remove(list, &d);
     },
     "decoders", "absent"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgWriterDefaults, testing::ValuesIn(kDefaultCases),
                         [](const auto &test) { return std::string(test.param.name); });

TEST_F(CfgWriter, LeavesOutTheNameDefaultInAnyLetterCase)
{
    SET(cfg_server_set_name(server(), cfg_get_servers(), "DEFAULT", &reason));
    SET(cfg_stream_set_name(stream(), cfg_get_streams(), "Default", &reason));
    intake();
    cfg_decoder *d = decoder();
    SET(cfg_decoder_set_name(d, cfg_get_decoders(), "dEfAuLt", &reason));
    SET(cfg_decoder_set_program(d, cfg_get_decoders(), "dec @T@", &reason));
    cfg_encoder *named = encoder("defaults");
    SET(cfg_encoder_set_format_str(named, cfg_get_encoders(), "ogg", &reason));

    const std::string doc = document();
    EXPECT_EQ(section(doc, "servers"), kBareServer);
    EXPECT_EQ(section(doc, "streams"), "    <stream>\n    </stream>\n");
    EXPECT_EQ(section(doc, "intakes"), "    <intake>\n    </intake>\n");
    EXPECT_EQ(section(doc, "decoders"), "    <decoder>\n"
                                        "      <program>dec @T@</program>\n"
                                        "    </decoder>\n");
    EXPECT_EQ(section(doc, "encoders"), "    <encoder>\n"
                                        "      <name>defaults</name>\n"
                                        "      <format>Ogg</format>\n"
                                        "    </encoder>\n");
}

TEST_F(CfgWriter, WritesFileExtensionsInTheDecodersOrderAfterItsProgram)
{
    cfg_decoder_list list = cfg_get_decoders();
    cfg_decoder *d = decoder("Ogg");
    for (const char *ext : {".ogg", ".OGA", ".ogv"})
        SET(cfg_decoder_add_ext(d, list, ext, &reason));
    SET(cfg_decoder_set_program(d, list, "dec @T@", &reason));
    EXPECT_EQ(section(document(), "decoders"), "    <decoder>\n"
                                               "      <name>Ogg</name>\n"
                                               "      <program>dec @T@</program>\n"
                                               "      <file_ext>.ogg</file_ext>\n"
                                               "      <file_ext>.OGA</file_ext>\n"
                                               "      <file_ext>.ogv</file_ext>\n"
                                               "    </decoder>\n");
}

// The writer of one entry, handed to its list's foreach, writes the lines
// the whole document has for that list's entries, and the extension
// writer, handed to a decoder's, its extension lines.
TEST_F(CfgWriter, EachEntryWriterWritesWhatTheDocumentHas)
{
    set_every_setting();
    cfg_decoder *d = decoder("Ogg");
    for (const char *ext : {".ogg", ".oga"})
        SET(cfg_decoder_add_ext(d, cfg_get_decoders(), ext, &reason));
    SET(cfg_decoder_set_program(d, cfg_get_decoders(), "dec @T@", &reason));
    SET(cfg_encoder_set_program(encoder("enc"), cfg_get_encoders(), "enc @T@", &reason));
    const std::string doc = document();
    const auto each = [](auto for_each, auto list, auto writer) {
        return capture_stream([&](FILE *out) { for_each(list, writer, out); });
    };
    EXPECT_EQ(each(cfg_server_list_foreach, cfg_get_servers(), cfg_document_write_server),
              section(doc, "servers"));
    EXPECT_EQ(each(cfg_stream_list_foreach, cfg_get_streams(), cfg_document_write_stream),
              section(doc, "streams"));
    EXPECT_EQ(each(cfg_intake_list_foreach, cfg_get_intakes(), cfg_document_write_intake),
              section(doc, "intakes"));
    EXPECT_EQ(each(cfg_decoder_list_foreach, cfg_get_decoders(), cfg_document_write_decoder),
              section(doc, "decoders"));
    EXPECT_EQ(each(cfg_encoder_list_foreach, cfg_get_encoders(), cfg_document_write_encoder),
              section(doc, "encoders"));
    EXPECT_EQ(each(cfg_decoder_foreach_ext, d, cfg_document_write_file_ext),
              "      <file_ext>.ogg</file_ext>\n      <file_ext>.oga</file_ext>\n");
}

struct EscapeCase {
    const char *value;
    const char *written;
};

class CfgWriterEscaping : public CfgWriter, public testing::WithParamInterface<EscapeCase> {};

// Written values must parse back to the same bytes, and a value the
// document cannot carry must not make the document ill-formed.
TEST_P(CfgWriterEscaping, WritesTextAsCharacterData)
{
    cfg_stream_list list = cfg_get_streams();
    SET(cfg_stream_set_stream_genre(stream(), list, GetParam().value, &reason));
    SET(cfg_set_metadata_program(GetParam().value, &reason));
    const std::string doc = document();
    EXPECT_EQ(section(doc, "streams"), std::string("    <stream>\n      <stream_genre>") +
                                           GetParam().written + "</stream_genre>\n    </stream>\n");
    EXPECT_EQ(section(doc, "metadata"),
              std::string("    <program>") + GetParam().written + "</program>\n");
}

const EscapeCase kEscapeCases[] = {
    {"Rock & Roll", "Rock &amp; Roll"},
    {"&amp;", "&amp;amp;"},
    {"a<b", "a&lt;b"},
    {"cmd > /dev/null 2>&1", "cmd > /dev/null 2>&amp;1"},
    {"]]>", "]]&gt;"},
    {"]]]>>", "]]]&gt;>"},
    {"] ]>", "] ]>"},
    {"]>", "]>"},
    {"\"quoted\" 'single'", "\"quoted\" 'single'"},
    {"line\r\nbreak\rcr", "line&#13;\nbreak&#13;cr"},
    {"\ttab \n", "\ttab \n"},
    {"  blanks  ", "  blanks  "},
    {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
    {"\x7F", "\x7F"},
    // No XML 1.0 document can hold these: each offending byte becomes U+FFFD.
    {"a\x01z", "a\xEF\xBF\xBDz"},
    {"\x0B\x0C\x1F", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"latin\xE9", "latin\xEF\xBF\xBD"},
    {"\xC3", "\xEF\xBF\xBD"},
    {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xEF\xBF\xBE", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xF4\x8F\xBF\xBD", "\xF4\x8F\xBF\xBD"},
    {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgWriterEscaping, testing::ValuesIn(kEscapeCases));

// Long texts are scanned in blocks: every case must come out the same at
// every offset from a block's start, "]]>" split across two blocks
// included, with plain bytes around it on both sides.
TEST(CfgWriterLongText, EscapesTheSameAtEveryOffset)
{
    for (const EscapeCase &c : kEscapeCases) {
        for (std::size_t pad = 0; pad < 40; pad++) {
            cfg_init();
            const std::string plain(pad, 'x');
            const std::string tail(40, 'y');
            const char *reason = nullptr;
            ASSERT_EQ(cfg_set_metadata_program((plain + c.value + tail).c_str(), &reason), 0)
                << reason;
            EXPECT_EQ(section(document(), "metadata"),
                      "    <program>" + plain + c.written + tail + "</program>\n")
                << "case " << testing::PrintToString(c.value) << " after " << pad << " bytes";
            cfg_exit();
        }
    }
}

// A text longer than the writer's buffer, with escapes on both sides of
// every point where the buffer fills, comes out whole and in order.
TEST_F(CfgWriter, WritesATextLongerThanItsBuffer)
{
    std::string value;
    std::string written;
    for (int i = 0; value.size() < 300 * 1024; i++) {
        value += "a&b<c]]>\r\x01" + std::string(static_cast<std::size_t>(i % 97), 'z');
        written += "a&amp;b&lt;c]]&gt;&#13;\xEF\xBF\xBD" +
                   std::string(static_cast<std::size_t>(i % 97), 'z');
    }
    SET(cfg_stream_set_stream_genre(stream(), cfg_get_streams(), value.c_str(), &reason));
    EXPECT_EQ(section(document(), "streams"),
              "    <stream>\n      <stream_genre>" + written + "</stream_genre>\n    </stream>\n");
}

TEST_F(CfgWriter, EscapesNamesAndEveryKindOfText)
{
    cfg_server *s = server("a&b");
    SET(cfg_server_set_password(s, cfg_get_servers(), "p<w", &reason));
    cfg_decoder *d = decoder("d]]>");
    SET(cfg_decoder_add_ext(d, cfg_get_decoders(), ".a&b", &reason));
    const std::string doc = document();
    EXPECT_NE(doc.find("      <name>a&amp;b</name>\n"), std::string::npos);
    EXPECT_NE(doc.find("      <password>p&lt;w</password>\n"), std::string::npos);
    EXPECT_NE(doc.find("      <name>d]]&gt;</name>\n"), std::string::npos);
    EXPECT_NE(doc.find("      <file_ext>.a&amp;b</file_ext>\n"), std::string::npos);
}

} // namespace
