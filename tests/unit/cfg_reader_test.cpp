#include "cfg/cfg_reader.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <libxml/parser.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

#include "cfg/cfg.h"
#include "cfg/cfg_read_facts.h"
#include "support/fd.h"
#include "support/log_input.h"
#include "test_support.h"

namespace {

using test_support::capture_log;
using test_support::TempFile;

struct Read {
    int result;
    std::string messages;
};

// Messages name the file by the path given; the tests show it as onyx.xml.
std::string without_folder(std::string text, const TempFile &file)
{
    const std::string dir = file.path().substr(0, file.path().rfind('/') + 1);
    for (size_t at; (at = text.find(dir)) != std::string::npos;)
        text.erase(at, dir.size());
    return text;
}

Read read_xml(const std::string &xml, mode_t mode = 0600, int verbosity = 0)
{
    TempFile file(xml, "onyx.xml");
    chmod(file.c_path(), mode);
    int result = 1;
    std::string out = capture_log([&] { result = cfg_document_read(file.c_path()); }, verbosity);
    return {result, without_folder(out, file)};
}

// A document with one section holding one entry made of `fields`: the
// entry element is on line 3, the first field on line 4.
std::string one_entry(const std::string &section, const std::string &entry,
                      const std::string &fields)
{
    return "<onyxcast>\n  <" + section + ">\n    <" + entry + ">\n" + fields + "    </" + entry +
           ">\n  </" + section + ">\n</onyxcast>\n";
}

class CfgReader : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }
};

TEST_F(CfgReader, RefusesADocumentThatDoesNotParse)
{
    Read r = read_xml("<onyxcast>\n  <servers>\n</onyxcast>\n");
    EXPECT_EQ(r.result, -1);
    // The XML library's own diagnostics come first.
    EXPECT_TRUE(r.messages.ends_with("\nonyx.xml: not well-formed XML\n")) << r.messages;
}

TEST_F(CfgReader, RefusesAnotherRootElementAndReadsNothing)
{
    Read r = read_xml("<icecast>\n  <metadata><program>x</program></metadata>\n</icecast>\n");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml: onyxcast configuration not recognized\n");
    EXPECT_EQ(cfg_get_metadata_program(), nullptr);
}

TEST_F(CfgReader, ReportsAFileThatCannotBeExamined)
{
    TempFile file("", "onyx.xml");
    const std::string missing = file.path() + ".gone";
    int result = 0;
    std::string out = capture_log([&] { result = cfg_document_read(missing.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(without_folder(out, file), "onyx.xml.gone: No such file or directory\n");

    out = capture_log([&] { result = cfg_document_read(nullptr); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out, ": No such file or directory\n");
}

TEST_F(CfgReader, ReportsADirectory)
{
    TempFile file("", "onyx.xml");
    const std::string dir = file.path() + ".d";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    int result = 0;
    std::string out = capture_log([&] { result = cfg_document_read(dir.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(without_folder(out, file), "onyx.xml.d: Is a directory\n"
                                         "onyx.xml.d: not well-formed XML\n");
}

struct ModeCase {
    const char *name;
    mode_t mode;
    int verbosity;
    int result;
    const char *messages;
};

class CfgReaderModes : public CfgReader, public testing::WithParamInterface<ModeCase> {};

// The content is not XML at all, so a read that gets as far as parsing
// says so: a world-writable file must be refused before that.
TEST_P(CfgReaderModes, ChecksPermissionsBeforeParsing)
{
    const ModeCase &c = GetParam();
    Read r = read_xml(c.result == 0 ? "<onyxcast/>" : "not xml", c.mode, c.verbosity);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.messages, c.messages);
}

const ModeCase kModeCases[] = {
    {"private", 0600, 0, 0, ""},
    {"group_readable_quiet", 0640, 0, 0, ""},
    {"group_readable_notice", 0640, 1, 0, "onyx.xml: group readable\n"},
    {"world_readable", 0644, 0, 0, "onyx.xml: world readable\n"},
    {"world_and_group_readable", 0604, 1, 0, "onyx.xml: world readable\n"},
    {"world_writeable", 0602, 0, -1, "onyx.xml: world writeable\n"},
    {"world_readable_and_writeable", 0666, 0, -1,
     "onyx.xml: world readable\nonyx.xml: world writeable\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgReaderModes, testing::ValuesIn(kModeCases),
                         [](const auto &test) { return std::string(test.param.name); });

// The check on an open descriptor says and decides what the check of the
// path says and decides.
TEST_F(CfgReader, ADescriptorsModeIsJudgedAsItsPaths)
{
    for (const ModeCase &c : kModeCases) {
        SCOPED_TRACE(c.name);
        TempFile file("", "onyx.xml");
        chmod(file.c_path(), c.mode);
        fd_guard fd(open(file.c_path(), O_RDONLY | O_CLOEXEC));
        int results[2] = {1, 1};
        const std::string by_path =
            capture_log([&] { results[0] = cfg_check_file_mode(file.c_path()); }, c.verbosity);
        const std::string by_fd = capture_log(
            [&] { results[1] = cfg_check_fd_mode(fd.get(), file.c_path()); }, c.verbosity);
        EXPECT_EQ(results[0], c.result);
        EXPECT_EQ(results[1], c.result);
        EXPECT_EQ(by_fd, by_path);
    }
    int result = 0;
    EXPECT_EQ(capture_log([&] { result = cfg_check_fd_mode(-1, "gone.xml"); }),
              "gone.xml: Bad file descriptor\n");
    EXPECT_EQ(result, -1);
}

// The client opens its file once and judges what it opened. A path that is
// there but does not open (a socket, or a file it may not read) is still
// reported as before: its mode first, then why it does not open.
TEST_F(CfgReader, ReportsAPathThatIsThereButDoesNotOpen)
{
    TempFile file("", "onyx.xml");
    const std::string path = file.path() + ".sock";
    fd_guard sock(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    path.copy(addr.sun_path, path.size());
    ASSERT_EQ(bind(sock.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    chmod(path.c_str(), 0666);
    int result = 0;
    std::string out = capture_log([&] { result = cfg_document_read(path.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(without_folder(out, file), "onyx.xml.sock: world readable\n"
                                         "onyx.xml.sock: world writeable\n");
    chmod(path.c_str(), 0600);
    out = capture_log([&] { result = cfg_document_read(path.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(without_folder(out, file), "onyx.xml.sock: No such device or address\n"
                                         "onyx.xml.sock: not well-formed XML\n");
}

// Whichever file the path names when the client opens it, the mode judged
// is that file's: while one thread swaps a world-writable file with a
// private one under the path, no read may accept the world-writable one.
TEST_F(CfgReader, TheFileJudgedIsTheFileRead)
{
    TempFile file("<onyxcast><metadata><program>private</program></metadata></onyxcast>",
                  "onyx.xml");
    const std::string other = file.path() + ".other";
    std::ofstream(other) << "<onyxcast><metadata><program>open</program></metadata></onyxcast>";
    chmod(file.c_path(), 0600);
    chmod(other.c_str(), 0666);
    std::atomic<bool> stop{false};
    // The swapper sleeps between swaps, however briefly: sharing a core
    // with the reads, it then wakes in the middle of one, where running
    // flat out it would only swap between the reads of a time slice.
    std::thread swapper([&] {
        while (!stop) {
            renameat2(AT_FDCWD, file.c_path(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE);
            std::this_thread::sleep_for(std::chrono::microseconds(1));
        }
    });
    // Thousands of refusals: to the system log they would take seconds.
    class : public log_sink {
        int message(int, const char *, va_list) override { return 1; }
        void library(int, const char *) override {}
    } quiet;
    log_sink *previous = log_set_sink(&quiet);
    int accepted = 0, refused = 0, wrong = 0;
    for (int i = 0; i < 10000; i++) {
        cfg_clear(cfg_active());
        if (cfg_document_read(file.c_path()) != 0) {
            refused++;
            continue;
        }
        accepted++;
        const char *program = cfg_get_metadata_program();
        if (program == nullptr || std::strcmp(program, "private") != 0)
            wrong++;
    }
    log_set_sink(previous);
    stop = true;
    swapper.join();
    EXPECT_EQ(wrong, 0) << "of " << accepted << " accepted";
    // Both files were met, or the swap did not race with the reads.
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

TEST_F(CfgReader, EmptyRootReadsWithoutChangingTheConfiguration)
{
    cfg_set_metadata_program("kept", nullptr);
    Read r = read_xml("<ONYXCAST><!-- nothing --></ONYXCAST>");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.messages, "");
    EXPECT_STREQ(cfg_get_metadata_program(), "kept");
    EXPECT_EQ(cfg_server_list_count(cfg_get_servers()), 0u);
}

struct MessageCase {
    const char *name;
    const char *section;
    const char *entry;
    const char *fields;
    const char *message;
};

class CfgReaderMessages : public CfgReader, public testing::WithParamInterface<MessageCase> {};

TEST_P(CfgReaderMessages, ReportsRefusalsWithLineEntryAndField)
{
    const MessageCase &c = GetParam();
    Read r = read_xml(one_entry(c.section, c.entry, c.fields));
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, c.message);
}

const MessageCase kMessageCases[] = {
    {"server_field", "servers", "server",
     "      <name>main</name>\n      <hostname>h</hostname>\n      <port>0</port>\n",
     "onyx.xml[6]: server (main): port: too small\n"},
    {"server_empty_field", "servers", "server", "      <hostname/>\n",
     "onyx.xml[4]: server (default): hostname: empty\n"},
    {"server_invalid", "servers", "server", "      <hostname>h</hostname>\n",
     "onyx.xml[3]: server (default): password missing\n"},
    {"stream_field", "streams", "stream", "      <format>FLAC</format>\n",
     "onyx.xml[4]: stream (default): format: unsupported stream format\n"},
    {"stream_invalid", "streams", "stream", "      <name>live</name>\n",
     "onyx.xml[3]: stream (live): format missing or unsupported\n"},
    {"intake_field", "intakes", "intake", "      <type>socket</type>\n",
     "onyx.xml[4]: intake (default): type: unsupported\n"},
    {"intake_invalid", "intakes", "intake", "      <type>file</type>\n",
     "onyx.xml[3]: intake (default): intake filename missing\n"},
    {"decoder_field", "decoders", "decoder", "      <program>d @T@</program>\n      <file_ext/>\n",
     "onyx.xml[5]: decoder (default): file_ext: empty\n"},
    {"decoder_without_program", "decoders", "decoder", "      <file_ext>.ogg</file_ext>\n",
     "onyx.xml[3]: decoder (default): program not set\n"},
    {"decoder_without_ext", "decoders", "decoder",
     "      <name>Ogg</name>\n      <program>d @T@</program>\n",
     "onyx.xml[3]: decoder (Ogg): no file extensions registered\n"},
    {"encoder_field", "encoders", "encoder", "      <format>opus</format>\n",
     "onyx.xml[4]: encoder (default): format: unsupported stream format\n"},
    {"encoder_invalid", "encoders", "encoder", "      <program>enc</program>\n",
     "onyx.xml[3]: encoder (default): format not set\n"},
    {"metadata_field", "metadata", "refresh_interval", "soon",
     "onyx.xml[3]: metadata: refresh_interval: invalid\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgReaderMessages, testing::ValuesIn(kMessageCases),
                         [](const auto &test) { return std::string(test.param.name); });

TEST_F(CfgReader, ReadsNamesInAnyLetterCase)
{
    Read r = read_xml(R"(<OnyxCast>
  <SERVERS><Server><HostName>h</HostName><PASSWORD>p</PASSWORD><Port>80</Port></Server></SERVERS>
  <Streams><STREAM><Format>ogg</Format><Stream_Name>R</Stream_Name></STREAM></Streams>
  <INTAKES><Intake><TYPE>stdin</TYPE></Intake></INTAKES>
  <Decoders><Decoder><Program>d @T@</Program><FILE_EXT>.ogg</FILE_EXT></Decoder></Decoders>
  <ENCODERS><Encoder><NAME>e</NAME><FORMAT>mp3</FORMAT><PROGRAM>enc</PROGRAM></Encoder></ENCODERS>
  <MetaData><No_Updates>Yes</No_Updates></MetaData>
  <servers><server><PORT>eighty</PORT></server></servers>
</OnyxCast>
)");
    EXPECT_EQ(r.result, -1);
    // The field name is spelled as the reader knows it, not as written.
    EXPECT_EQ(r.messages, "onyx.xml[8]: server (default): port: invalid\n");

    cfg_server *s = cfg_server_list_find(cfg_get_servers(), "default");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(cfg_server_get_hostname(s), "h");
    EXPECT_EQ(cfg_server_get_port(s), 80);
    cfg_stream *st = cfg_stream_list_find(cfg_get_streams(), "default");
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(cfg_stream_get_format(st), CFG_STREAM_OGG);
    EXPECT_STREQ(cfg_stream_get_stream_name(st), "R");
    EXPECT_EQ(cfg_intake_get_type(cfg_intake_list_find(cfg_get_intakes(), "default")),
              CFG_INTAKE_STDIN);
    EXPECT_EQ(cfg_decoder_list_find_by_ext(cfg_get_decoders(), ".ogg"),
              cfg_decoder_list_find(cfg_get_decoders(), "default"));
    cfg_encoder *e = cfg_encoder_list_find(cfg_get_encoders(), "E");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(cfg_encoder_get_format(e), CFG_STREAM_MP3);
    EXPECT_EQ(cfg_get_metadata_no_updates(), 1);
}

TEST_F(CfgReader, UnnamedEntriesFillOneEntry)
{
    Read r = read_xml(R"(<onyxcast><servers>
  <server><hostname>first</hostname><password>p</password><port>80</port></server>
  <server><port>81</port></server>
</servers></onyxcast>)");
    EXPECT_EQ(r.result, 0) << r.messages;
    ASSERT_EQ(cfg_server_list_count(cfg_get_servers()), 1u);
    cfg_server *s = cfg_server_list_find(cfg_get_servers(), "default");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(cfg_server_get_hostname(s), "first");
    EXPECT_EQ(cfg_server_get_port(s), 81);
}

TEST_F(CfgReader, NamedEntryAfterAnUnnamedOneTakesItOver)
{
    Read r = read_xml(R"(<onyxcast><servers>
  <server><hostname>first</hostname><password>p</password></server>
  <server><port>9000</port><name>main</name></server>
  <server><name>backup</name><hostname>b</hostname><password>q</password></server>
</servers></onyxcast>)");
    EXPECT_EQ(r.result, 0) << r.messages;
    cfg_server_list servers = cfg_get_servers();
    ASSERT_EQ(cfg_server_list_count(servers), 2u);
    cfg_server *main = cfg_server_list_find(servers, "main");
    ASSERT_NE(main, nullptr);
    EXPECT_STREQ(cfg_server_get_hostname(main), "first");
    EXPECT_EQ(cfg_server_get_port(main), 9000);
    EXPECT_EQ(cfg_server_list_find(servers, "default"), nullptr);
    EXPECT_NE(cfg_server_list_find(servers, "backup"), nullptr);
}

TEST_F(CfgReader, AlreadyExistsEndsItsSectionButNotTheNext)
{
    Read r = read_xml(R"(<onyxcast>
  <servers>
    <server><name>A</name><hostname>a</hostname><password>p</password></server>
    <server>
      <hostname>x</hostname>
      <name>a</name>
    </server>
    <server><name>C</name><hostname>c</hostname><password>p</password></server>
  </servers>
  <streams>
    <stream><format>MP3</format></stream>
  </streams>
</onyxcast>
)");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml[6]: server (default): name: already exists\n");
    cfg_server_list servers = cfg_get_servers();
    EXPECT_NE(cfg_server_list_find(servers, "A"), nullptr);
    // Read up to the refusal, which stays in the list; nothing after it.
    cfg_server *refused = cfg_server_list_find(servers, "default");
    ASSERT_NE(refused, nullptr);
    EXPECT_STREQ(cfg_server_get_hostname(refused), "x");
    EXPECT_EQ(cfg_server_list_find(servers, "C"), nullptr);
    EXPECT_EQ(cfg_stream_list_count(cfg_get_streams()), 1u);
}

TEST_F(CfgReader, ListSectionsReportOneRefusalAndMetadataEvery)
{
    Read r = read_xml(R"(<onyxcast>
  <servers>
    <server><port>x</port><tls>maybe</tls><protocol>ftp</protocol></server>
  </servers>
  <metadata>
    <refresh_interval>x</refresh_interval>
    <program>meta.sh</program>
    <normalize_strings>maybe</normalize_strings>
    <format_str>@M@</format_str>
    <no_updates>yes</no_updates>
  </metadata>
</onyxcast>
)");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml[3]: server (default): port: invalid\n"
                          "onyx.xml[6]: metadata: refresh_interval: invalid\n"
                          "onyx.xml[8]: metadata: normalize_strings: invalid\n"
                          "onyx.xml[9]: metadata: format_str: prohibited placeholder @M@\n");
    EXPECT_STREQ(cfg_get_metadata_program(), "meta.sh");
    EXPECT_EQ(cfg_get_metadata_no_updates(), 1);
}

TEST_F(CfgReader, EmptyEncoderElementClearsTheStreamsEncoder)
{
    Read r = read_xml(R"(<onyxcast><streams>
  <stream><format>MP3</format><encoder>MP3</encoder></stream>
  <stream><encoder/></stream>
</streams></onyxcast>)");
    EXPECT_EQ(r.result, 0) << r.messages;
    cfg_stream *st = cfg_stream_list_find(cfg_get_streams(), "default");
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(cfg_stream_get_encoder(st), nullptr);
}

TEST_F(CfgReader, PassesOverOtherNodesAndRepeatsSections)
{
    Read r = read_xml(R"(<?xml version="1.0"?>
<!-- generated -->
<onyxcast version="1">
  text
  <extra><server/></extra>
  <decoders>
    <?decoder ignored?>
    <!-- <decoder/> -->
    <decoder><name>Ogg</name><program>d @T@</program><file_ext>.ogg</file_ext><color/>
      <file_ext>.oga</file_ext></decoder>
  </decoders>
  <decoders>
    <decoder><name>MP3</name><program>d @T@</program><file_ext>.mp3</file_ext></decoder>
  </decoders>
  <metadata><program>a &amp; b&#13;<![CDATA[ <c> ]]></program></metadata>
</onyxcast>
)");
    EXPECT_EQ(r.result, 0) << r.messages;
    cfg_decoder_list decoders = cfg_get_decoders();
    ASSERT_EQ(cfg_decoder_list_count(decoders), 2u);
    EXPECT_NE(cfg_decoder_list_find(decoders, "MP3"), nullptr);
    std::string exts;
    cfg_decoder_foreach_ext(
        cfg_decoder_list_find(decoders, "Ogg"),
        [](const char *ext, void *arg) { *static_cast<std::string *>(arg) += ext; }, &exts);
    EXPECT_EQ(exts, ".ogg.oga");
    EXPECT_STREQ(cfg_get_metadata_program(), "a & b\r <c> ");
}

TEST_F(CfgReader, FieldTextIsTakenUntrimmed)
{
    Read r = read_xml("<onyxcast><streams><stream><format>Ogg</format>"
                      "<stream_name>  two\n lines\t</stream_name>"
                      "<stream_genre> </stream_genre></stream></streams></onyxcast>");
    EXPECT_EQ(r.result, 0) << r.messages;
    cfg_stream *st = cfg_stream_list_find(cfg_get_streams(), "default");
    EXPECT_STREQ(cfg_stream_get_stream_name(st), "  two\n lines\t");
    EXPECT_STREQ(cfg_stream_get_stream_genre(st), " ");
}

class CfgReload : public CfgReader {
  protected:
    // The configuration in use before the reload.
    void SetUp() override
    {
        CfgReader::SetUp();
        cfg_server_list servers = cfg_get_servers();
        cfg_server *old = cfg_server_list_get(servers, "old");
        cfg_server_set_hostname(old, servers, "old.host", nullptr);
        cfg_set_metadata_program("old.sh", nullptr);
    }

    static int reload(const TempFile &file, std::string *messages)
    {
        chmod(file.c_path(), 0600);
        EXPECT_EQ(cfg_set_program_config_file(file.c_path(), nullptr), 0);
        int result = 1;
        *messages = without_folder(capture_log([&] { result = cfg_reload_file(); }), file);
        return result;
    }

    static bool saved_is_reset()
    {
        const cfg_config *saved = cfg_saved();
        return saved->servers == nullptr && saved->streams == nullptr &&
               saved->intakes == nullptr && saved->decoders == nullptr &&
               saved->encoders == nullptr && saved->metadata.program[0] == '\0' &&
               saved->metadata.format_str == nullptr && saved->metadata.refresh_interval == -1;
    }
};

TEST_F(CfgReload, GoodFileReplacesTheConfigurationEntirely)
{
    TempFile file(R"(<onyxcast><servers>
  <server><name>new</name><hostname>new.host</hostname><password>p</password></server>
</servers></onyxcast>)",
                  "onyx.xml");
    std::string messages;
    EXPECT_EQ(reload(file, &messages), 0);
    EXPECT_EQ(messages, "");
    cfg_server_list servers = cfg_get_servers();
    EXPECT_EQ(cfg_server_list_count(servers), 1u);
    EXPECT_EQ(cfg_server_list_find(servers, "old"), nullptr);
    EXPECT_STREQ(cfg_server_get_hostname(cfg_server_list_find(servers, "new")), "new.host");
    EXPECT_EQ(cfg_get_metadata_program(), nullptr);
    EXPECT_TRUE(saved_is_reset());
}

TEST_F(CfgReload, BadFileKeepsThePreviousConfiguration)
{
    TempFile file(R"(<onyxcast>
  <servers>
    <server><name>new</name><hostname>new.host</hostname><password>p</password></server>
  </servers>
  <metadata><program>new.sh</program><no_updates>often</no_updates></metadata>
</onyxcast>)",
                  "onyx.xml");
    std::string messages;
    EXPECT_EQ(reload(file, &messages), -1);
    EXPECT_EQ(messages, "onyx.xml[5]: metadata: no_updates: invalid\n");
    cfg_server_list servers = cfg_get_servers();
    EXPECT_EQ(cfg_server_list_count(servers), 1u);
    EXPECT_EQ(cfg_server_list_find(servers, "new"), nullptr);
    EXPECT_STREQ(cfg_server_get_hostname(cfg_server_list_find(servers, "old")), "old.host");
    EXPECT_STREQ(cfg_get_metadata_program(), "old.sh");
    EXPECT_TRUE(saved_is_reset());
}

TEST_F(CfgReload, UnreadableFileKeepsThePreviousConfiguration)
{
    TempFile file("<onyxcast>", "onyx.xml");
    std::string messages;
    EXPECT_EQ(reload(file, &messages), -1);
    EXPECT_TRUE(messages.ends_with("onyx.xml: not well-formed XML\n")) << messages;
    EXPECT_STREQ(cfg_get_metadata_program(), "old.sh");
    EXPECT_TRUE(saved_is_reset());
}

} // namespace

namespace {

TEST_F(CfgReader, ADecoderThatLosesItsOnlyExtensionIsRefused)
{
    Read r = read_xml("<onyxcast>\n<decoders>\n"
                      "<decoder><name>A</name><program>a @T@</program><file_ext>.x</file_ext>"
                      "</decoder>\n"
                      "<decoder><name>B</name><program>b @T@</program>\n<file_ext>.X</file_ext>"
                      "</decoder>\n"
                      "<decoder><name>C</name><program>c @T@</program><file_ext>.c</file_ext>"
                      "</decoder>\n"
                      "</decoders>\n</onyxcast>\n");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml[5]: decoder (A): no file extensions registered\n");
    EXPECT_EQ(cfg_decoder_list_find(cfg_get_decoders(), "C"), nullptr) << "the section ended";
}

TEST_F(CfgReader, AnExtensionMovedBetweenCompleteDecodersIsNoError)
{
    Read r = read_xml("<onyxcast><decoders>"
                      "<decoder><name>A</name><program>a @T@</program><file_ext>.x</file_ext>"
                      "<file_ext>.y</file_ext></decoder>"
                      "<decoder><name>B</name><program>b @T@</program><file_ext>.x</file_ext>"
                      "</decoder></decoders></onyxcast>\n");
    EXPECT_EQ(r.result, 0) << r.messages;
    EXPECT_EQ(cfg_decoder_list_find_by_ext(cfg_get_decoders(), ".x"),
              cfg_decoder_list_find(cfg_get_decoders(), "B"));
}

TEST_F(CfgReader, EntitiesThatCannotBeExpandedAreRefusedNotDropped)
{
    TempFile secret("never read", "secret.txt");
    Read r = read_xml("<!DOCTYPE onyxcast [<!ENTITY s SYSTEM \"" + secret.path() +
                      "\">]>\n<onyxcast>\n<servers><server>\n"
                      "<hostname>stream&s;host</hostname>\n<password>pw</password>\n"
                      "</server></servers>\n<metadata>\n<program>a&s;</program>\n"
                      "<refresh_interval>5</refresh_interval>\n</metadata>\n</onyxcast>\n");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml[4]: server (default): hostname: cannot expand entity 's'\n"
                          "onyx.xml[8]: metadata: program: cannot expand entity 's'\n");
    EXPECT_EQ(cfg_get_metadata_program(), nullptr);
    EXPECT_EQ(cfg_get_metadata_refresh_interval(), 5) << "the other metadata fields are read";
}

// A document can repeat a section or a field as often as it likes, each
// time with its refusal. The messages stop after a hundred, one line counts
// the rest, and reading goes on; the next document starts afresh, as a
// program checking many files needs.
TEST_F(CfgReader, AFloodOfRefusalsIsCutShortForEachDocument)
{
    std::string xml = "<onyxcast>\n";
    std::string expected;
    int line = 1;
    for (int i = 0; i < 60; i++) {
        xml += "<servers><server><port>x</port></server></servers>\n";
        expected += "onyx.xml[" + std::to_string(++line) + "]: server (default): port: invalid\n";
    }
    xml += "<metadata>\n";
    line++;
    for (int i = 0; i < 90; i++) {
        xml += "<refresh_interval>x</refresh_interval>\n";
        if (++line <= 102)
            expected +=
                "onyx.xml[" + std::to_string(line) + "]: metadata: refresh_interval: invalid\n";
    }
    xml += "<program>meta.sh</program>\n</metadata>\n</onyxcast>\n";
    expected += "onyx.xml: 50 more errors not shown\n";

    Read r = read_xml(xml);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, expected);
    EXPECT_STREQ(cfg_get_metadata_program(), "meta.sh") << "fields after the limit are still read";

    r = read_xml("<onyxcast><metadata><no_updates>maybe</no_updates></metadata></onyxcast>\n");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml[1]: metadata: no_updates: invalid\n");
}

std::string repeat(const std::string &piece, int times)
{
    std::string out;
    for (int i = 0; i < times; i++)
        out += piece;
    return out;
}

// Declares `a` as 1,000 bytes and `b` as `b_refs` references to it.
std::string entity_declarations(int b_refs)
{
    return "<!DOCTYPE onyxcast [\n<!ENTITY a \"" + std::string(1000, 'x') + "\">\n<!ENTITY b \"" +
           repeat("&a;", b_refs) + "\">\n]>\n";
}

// The XML library reads no text node longer than 10,000,000 bytes, but a
// field's text is joined from its text nodes, CDATA sections and entities.
// A longer one is refused like any text the model finds too long.
TEST_F(CfgReader, FieldTextsTooLongForAnyDocumentAreRefused)
{
    const std::string run(6000000, 'x');
    const auto description = [](const std::string &content) {
        return one_entry("streams", "stream",
                         "<stream_description>" + content +
                             "</stream_description>\n"
                             "<format>Ogg</format>\n");
    };
    const struct {
        const char *what;
        std::string xml;
        const char *messages;
    } cases[] = {
        {"entities", entity_declarations(1100) + description(repeat("&b;", 10)),
         "onyx.xml[8]: stream (default): stream_description: too long\n"},
        {"comment", description(run + "<!-- between -->" + run),
         "onyx.xml[4]: stream (default): stream_description: too long\n"},
        {"CDATA", description(run + "<![CDATA[" + run + "]]>"),
         "onyx.xml[4]: stream (default): stream_description: too long\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Read r = read_xml(c.xml);
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.messages, c.messages);
    }
}

TEST_F(CfgReader, EntitiesOfADocumentExpandWithinALimit)
{
    // Descriptions of 5,000,000 bytes each: the fourth goes beyond the
    // 20,000,000 bytes and nodes that the entities of one document may
    // expand to, and so does every later reference.
    std::string xml = entity_declarations(1000) + "<onyxcast>\n<streams>\n";
    for (int i = 1; i <= 4; i++)
        xml += "<stream><name>s" + std::to_string(i) +
               "</name><format>Ogg</format>"
               "<stream_description>" +
               repeat("&b;", 5) + "</stream_description></stream>\n";
    xml += "</streams>\n<metadata>\n<format_str>&a;</format_str>\n"
           "<refresh_interval>5</refresh_interval>\n</metadata>\n</onyxcast>\n";
    Read r = read_xml(xml);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.messages, "onyx.xml[10]: stream (s4): stream_description: entities expand too far\n"
                          "onyx.xml[13]: metadata: format_str: entities expand too far\n");
    EXPECT_EQ(cfg_get_metadata_refresh_interval(), 5);
}

TEST_F(CfgReader, AFieldTextOfAMillionPiecesIsJoinedInOnePass)
{
    constexpr int kPieces = 1000000;
    const std::string xml = one_entry("streams", "stream",
                                      "<format>Ogg</format><stream_description>" +
                                          repeat("a<!---->", kPieces) + "</stream_description>\n");
    // Processor time, which a busy machine does not stretch as it does
    // the time on the clock; and measured against a bare parse of the same
    // text, so that a slower build (sanitizers, a slow machine) moves both.
    const auto cpu_seconds = [](auto &&work) {
        const std::clock_t start = std::clock();
        work();
        return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    };
    const double parse = cpu_seconds([&] {
        xmlFreeDoc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "onyx.xml", nullptr, 0));
    });
    Read r;
    const double seconds = cpu_seconds([&] { r = read_xml(xml); });
    ASSERT_EQ(r.result, 0) << r.messages;
    EXPECT_EQ(cfg_stream_get_stream_description(cfg_stream_list_find(cfg_get_streams(), "default")),
              std::string(kPieces, 'a'));
    // Joining the pieces one by one, each time after the length of all
    // before, took five times as long as the parse.
    EXPECT_LT(seconds, 2.5 * parse + 0.5) << "bare parse " << parse << " s";
}

// What a read tells a caller that asks for facts, from the one pass over
// the document that reads it: the entry elements, what it passed over and
// what it refused, each where it stands among the read's messages.
struct Facts {
    int result;
    std::string messages;
    cfg_read_facts facts;
    std::string entries;     // "section/entry@line=name", "-" for no name
    std::string passed_over; // "line:kind:element/parent/entity@place"
    std::string refusals;    // "line:field=value@place"
};

void read_facts(const std::string &xml, Facts &out)
{
    // The places count the messages the holding channel kept.
    out.messages = capture_log([&] {
        log_input messages("onyx.xml", "");
        messages.hold();
        out.result = cfg_document_read_memory(xml.data(), xml.size(), "onyx.xml", &out.facts);
        messages.release();
    });
    for (const cfg_document_entry &e : out.facts.entries)
        out.entries += std::string(e.section) + "/" + e.entry + "@" + std::to_string(e.line) +
                       "=" + (e.name != nullptr ? e.name : "-") + " ";
    for (const cfg_document_passed_over &p : out.facts.passed_over) {
        const auto text = [](const char *t) { return t != nullptr ? t : "-"; };
        out.passed_over += std::to_string(p.line) + ":" + std::to_string(static_cast<int>(p.kind)) +
                           ":" + text(p.element) + "/" + text(p.parent) + "/" + text(p.entity) +
                           "@" + std::to_string(p.place) + " ";
    }
    for (const cfg_document_refusal &r : out.facts.refusals)
        out.refusals += std::to_string(r.line) + ":" + (r.field != nullptr ? r.field : "-") + "=" +
                        (r.value != nullptr ? r.value : "-") + "@" + std::to_string(r.place) + " ";
}

TEST_F(CfgReader, FactsListEveryEntryElementWithItsLastName)
{
    Facts f;
    read_facts(R"(<onyxcast>
  <SERVERS>
    <server><password>p</password><hostname>h</hostname></server>
    <Server><NAME>a</NAME><name>b</name><hostname>h</hostname><password>p</password></Server>
    <stream><format>Ogg</format></stream>
  </SERVERS>
  <metadata><name>not an entry</name></metadata>
  <extra><server><name>not read</name></server></extra>
  <streams>
    <stream><name></name><format>Ogg</format><name>late</name></stream>
    <stream><name>after</name></stream>
  </streams>
  <servers><server><name>c</name></server></servers>
</onyxcast>
)",
               f);
    // Every entry element, in document order, also after a refusal ended
    // the streams section and one made the servers section stop.
    EXPECT_EQ(f.entries, "servers/server@3=- servers/server@4=b streams/stream@10=late "
                         "streams/stream@11=after servers/server@13=c ");
    EXPECT_EQ(f.result, -1);
    EXPECT_TRUE(f.facts.root_read);
    EXPECT_EQ(f.facts.root_line, 1);
    EXPECT_EQ(f.facts.sections, 4u);
    // The reader's own messages, unchanged but for the notices that the
    // facts stand for.
    EXPECT_EQ(f.messages, "onyx.xml[10]: stream (default): name: empty\n"
                          "onyx.xml[13]: server (c): hostname missing\n");
    EXPECT_EQ(f.passed_over, "5:0:stream/SERVERS/-@0 7:0:name/metadata/-@0 8:0:extra/onyxcast/-@0 ");
    EXPECT_EQ(f.refusals, "10:name=-@1 ");
}

TEST_F(CfgReader, FactsSayWhatWasPassedOverWhereTheReadersMessagesStand)
{
    Facts f;
    read_facts(R"(<!DOCTYPE onyxcast [<!ENTITY x "<port>8000</port>">]>
<onyxcast>
  <metadata>
    <refresh_interval>never</refresh_interval>
    <format_str>%t<b>!</b></format_str>
    <refresh_interval>x</refresh_interval>
    <typo/>
  </metadata>
  <servers><server>&x;<name>s</name></server></servers>
</onyxcast>
)",
               f);
    EXPECT_EQ(f.result, -1);
    EXPECT_EQ(f.facts.sections, 2u);
    EXPECT_EQ(f.passed_over, "5:1:b/format_str/-@1 7:0:typo/metadata/-@2 9:2:port/server/x@2 ");
    EXPECT_EQ(f.refusals.substr(0, 21), "4:refresh_interval=ne");
    EXPECT_NE(f.refusals.find("@1 6:refresh_interval=x@2 "), std::string::npos) << f.refusals;
    EXPECT_EQ(f.entries, "servers/server@9=s ");
}

TEST_F(CfgReader, FactsListNothingWhenTheDocumentIsNotRead)
{
    for (const char *xml : {"<onyxcast>", "<other><servers><server/></servers></other>"}) {
        Facts f;
        read_facts(xml, f);
        EXPECT_EQ(f.result, -1) << xml;
        EXPECT_FALSE(f.facts.root_read) << xml;
        EXPECT_EQ(f.entries + f.passed_over + f.refusals, "") << xml;
    }
}

// The client asks for no facts, and hears of what it passes over.
TEST_F(CfgReader, WithoutFactsPassedOverElementsGetTheNotice)
{
    const std::string xml = "<onyxcast><metadata><typo/></metadata></onyxcast>";
    std::string messages = capture_log(
        [&] { cfg_document_read_memory(xml.data(), xml.size(), "onyx.xml", nullptr); }, 1);
    EXPECT_EQ(messages, "onyx.xml[1]: passed over <typo> in <metadata>\n");
}

} // namespace
