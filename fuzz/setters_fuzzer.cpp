// Drives the configuration model with arbitrary text: every setter, the
// list operations, the validations, and the version-0 placeholder checks,
// in any order. The input is a sequence of operations, each an operation
// byte, a length byte and that many bytes of text (a length of 255 stands
// for a null text). Checked beyond not crashing:
// - the value conventions: an empty or null text is refused with "empty"
//   (clearing the stream's encoder aside), a refusal names a reason, and a
//   success leaves the reason untouched;
// - getters hand out readable texts after every step;
// - a placeholder check of version 0 reports at most one problem per rule;
// - the document written at the end is well-formed XML, whatever bytes the
//   settings hold.
#include <cstdint>
#include <cstring>
#include <string>

#include <libxml/parser.h>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"
#include "fuzz_support.h"
#include "legacy/legacy_check.h"

namespace {

class input_reader {
  public:
    input_reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // Null for the length byte 255; the text stops at the end of the input.
    const char *text()
    {
        const uint8_t len = byte();
        if (len == 255)
            return nullptr;
        const size_t n = std::min<size_t>(len, size_ - pos_);
        text_.assign(reinterpret_cast<const char *>(data_ + pos_), n);
        pos_ += n;
        return text_.c_str();
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
    std::string text_;
};

// The entries the operations work on; each starts as the list's "default".
struct cursor {
    cfg_server *server;
    cfg_stream *stream;
    cfg_intake *intake;
    cfg_decoder *decoder;
    cfg_encoder *encoder;
};

// What a reason holds until a setter refuses.
constexpr char kUntouched[] = "untouched";

bool is_empty(const char *text)
{
    return text == nullptr || text[0] == '\0';
}

// A reason must be a readable, non-empty static text.
void check_outcome(int result, const char *reason, const char *value, const char *setter,
                   bool null_clears = false)
{
    FUZZ_CHECK(result == 0 || result == -1, "%s returned %d", setter, result);
    if (result == 0) {
        FUZZ_CHECK(reason == kUntouched, "%s succeeded but set a reason", setter);
        FUZZ_CHECK(!is_empty(value) || (null_clears && value == nullptr),
                   "%s accepted an empty value", setter);
    } else {
        FUZZ_CHECK(reason != kUntouched && reason != nullptr && reason[0] != '\0',
                   "%s refused without a reason", setter);
        if (is_empty(value) && !(null_clears && value == nullptr))
            FUZZ_CHECK(std::strcmp(reason, "empty") == 0, "%s refused an empty value with '%s'",
                       setter, reason);
    }
}

template <typename Entry, typename List>
void call(int (*setter)(Entry *, List, const char *, const char **), Entry *entry, List list,
          const char *value, const char *name, bool null_clears = false)
{
    const char *reason = kUntouched;
    const int result = setter(entry, list, value, &reason);
    check_outcome(result, reason, value, name, null_clears);
    // A null errstrp must be taken as well.
    setter(entry, list, value, nullptr);
}

void call(int (*setter)(const char *, const char **), const char *value, const char *name)
{
    const char *reason = kUntouched;
    const int result = setter(value, &reason);
    check_outcome(result, reason, value, name);
}

template <typename Entry> void validate(int (*check)(Entry *, const char **), Entry *entry)
{
    const char *reason = nullptr;
    if (check(entry, &reason) != 0)
        FUZZ_CHECK(reason != nullptr && reason[0] != '\0', "a validation refused without reason");
}

volatile size_t getter_sink;

// Touches every byte a getter hands out, so that a dangling or unterminated
// text shows up under the sanitizers.
size_t touch(const char *text)
{
    return text != nullptr ? std::strlen(text) : 0;
}

void touch_getters(const cursor &c)
{
    size_t n = 0;
    n += touch(cfg_server_get_name(c.server)) + touch(cfg_server_get_protocol_str(c.server)) +
         touch(cfg_server_get_hostname(c.server)) + touch(cfg_server_get_user(c.server)) +
         touch(cfg_server_get_password(c.server)) + touch(cfg_server_get_tls_str(c.server)) +
         touch(cfg_server_get_tls_cipher_suite(c.server)) + touch(cfg_server_get_ca_dir(c.server)) +
         touch(cfg_server_get_ca_file(c.server)) + touch(cfg_server_get_client_cert(c.server));
    n += touch(cfg_stream_get_name(c.stream)) + touch(cfg_stream_get_mountpoint(c.stream)) +
         touch(cfg_stream_get_intake(c.stream)) + touch(cfg_stream_get_server(c.stream)) +
         touch(cfg_stream_get_format_str(c.stream)) + touch(cfg_stream_get_encoder(c.stream)) +
         touch(cfg_stream_get_stream_name(c.stream)) + touch(cfg_stream_get_stream_url(c.stream)) +
         touch(cfg_stream_get_stream_genre(c.stream)) +
         touch(cfg_stream_get_stream_description(c.stream)) +
         touch(cfg_stream_get_stream_quality(c.stream)) +
         touch(cfg_stream_get_stream_bitrate(c.stream)) +
         touch(cfg_stream_get_stream_samplerate(c.stream)) +
         touch(cfg_stream_get_stream_channels(c.stream));
    n += touch(cfg_intake_get_name(c.intake)) + touch(cfg_intake_get_type_str(c.intake)) +
         touch(cfg_intake_get_filename(c.intake));
    n += touch(cfg_decoder_get_name(c.decoder)) + touch(cfg_decoder_get_program(c.decoder));
    n += touch(cfg_encoder_get_name(c.encoder)) + touch(cfg_encoder_get_program(c.encoder));
    n += touch(cfg_get_metadata_program()) + touch(cfg_get_metadata_format_str());
    for (int number : {cfg_server_get_port(c.server), cfg_server_get_tls(c.server),
                       cfg_server_get_protocol(c.server), cfg_stream_get_public(c.stream),
                       cfg_stream_get_format(c.stream), cfg_intake_get_type(c.intake),
                       cfg_intake_get_shuffle(c.intake), cfg_intake_get_stream_once(c.intake),
                       cfg_encoder_get_format(c.encoder), cfg_get_metadata_refresh_interval()})
        n += static_cast<size_t>(number);
    n += cfg_server_get_reconnect_attempts(c.server);
    getter_sink = n;
}

void check_placeholders(const char *text)
{
    if (text == nullptr)
        return;
    log_input messages("fuzz.xml", "\n");
    const int decoder = legacy_check_decoder_command(text, &messages, 1);
    const int encoder = legacy_check_encoder_command(text, &messages, 1);
    const int metadata = legacy_check_metadata_format(text, &messages, 1);
    FUZZ_CHECK(decoder >= 0 && decoder <= 6, "decoder check counted %d", decoder);
    FUZZ_CHECK(encoder >= 0 && encoder <= 5, "encoder check counted %d", encoder);
    FUZZ_CHECK(metadata >= 0 && metadata <= 5, "metadata check counted %d", metadata);
    // The track placeholder is what a decoder command cannot do without.
    if (std::strstr(text, "@T@") == nullptr)
        FUZZ_CHECK(decoder >= 1, "decoder command without @T@ accepted");
}

void check_document_wellformed()
{
    const std::string document = fuzz_write_document();
    xmlDoc *doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "fuzz.xml",
                                nullptr, XML_PARSE_NONET);
    FUZZ_CHECK(doc != nullptr, "the written document is not well-formed:\n%s", document.c_str());
    xmlFreeDoc(doc);
}

using server_setter = cfg_field_setter<cfg_server, cfg_server_list>;
using stream_setter = cfg_field_setter<cfg_stream, cfg_stream_list>;
using intake_setter = cfg_field_setter<cfg_intake, cfg_intake_list>;
using decoder_setter = cfg_field_setter<cfg_decoder, cfg_decoder_list>;
using encoder_setter = cfg_field_setter<cfg_encoder, cfg_encoder_list>;
using global_setter = cfg_metadata_setter;

template <typename Setter> struct named_setter {
    Setter set;
    const char *name;
};

constexpr named_setter<server_setter> kServerSetters[] = {
    {cfg_server_set_name, "cfg_server_set_name"},
    {cfg_server_set_protocol, "cfg_server_set_protocol"},
    {cfg_server_set_hostname, "cfg_server_set_hostname"},
    {cfg_server_set_port, "cfg_server_set_port"},
    {cfg_server_set_user, "cfg_server_set_user"},
    {cfg_server_set_password, "cfg_server_set_password"},
    {cfg_server_set_tls, "cfg_server_set_tls"},
    {cfg_server_set_tls_cipher_suite, "cfg_server_set_tls_cipher_suite"},
    {cfg_server_set_ca_dir, "cfg_server_set_ca_dir"},
    {cfg_server_set_ca_file, "cfg_server_set_ca_file"},
    {cfg_server_set_client_cert, "cfg_server_set_client_cert"},
    {cfg_server_set_reconnect_attempts, "cfg_server_set_reconnect_attempts"},
};

constexpr named_setter<stream_setter> kStreamSetters[] = {
    {cfg_stream_set_name, "cfg_stream_set_name"},
    {cfg_stream_set_mountpoint, "cfg_stream_set_mountpoint"},
    {cfg_stream_set_intake, "cfg_stream_set_intake"},
    {cfg_stream_set_server, "cfg_stream_set_server"},
    {cfg_stream_set_public, "cfg_stream_set_public"},
    {cfg_stream_set_format, "cfg_stream_set_format"},
    {cfg_stream_set_encoder, "cfg_stream_set_encoder"},
    {cfg_stream_set_stream_name, "cfg_stream_set_stream_name"},
    {cfg_stream_set_stream_url, "cfg_stream_set_stream_url"},
    {cfg_stream_set_stream_genre, "cfg_stream_set_stream_genre"},
    {cfg_stream_set_stream_description, "cfg_stream_set_stream_description"},
    {cfg_stream_set_stream_quality, "cfg_stream_set_stream_quality"},
    {cfg_stream_set_stream_bitrate, "cfg_stream_set_stream_bitrate"},
    {cfg_stream_set_stream_samplerate, "cfg_stream_set_stream_samplerate"},
    {cfg_stream_set_stream_channels, "cfg_stream_set_stream_channels"},
};

constexpr named_setter<intake_setter> kIntakeSetters[] = {
    {cfg_intake_set_name, "cfg_intake_set_name"},
    {cfg_intake_set_type, "cfg_intake_set_type"},
    {cfg_intake_set_filename, "cfg_intake_set_filename"},
    {cfg_intake_set_shuffle, "cfg_intake_set_shuffle"},
    {cfg_intake_set_stream_once, "cfg_intake_set_stream_once"},
};

constexpr named_setter<decoder_setter> kDecoderSetters[] = {
    {cfg_decoder_set_name, "cfg_decoder_set_name"},
    {cfg_decoder_set_program, "cfg_decoder_set_program"},
    {cfg_decoder_add_ext, "cfg_decoder_add_ext"},
};

constexpr named_setter<encoder_setter> kEncoderSetters[] = {
    {cfg_encoder_set_name, "cfg_encoder_set_name"},
    {cfg_encoder_set_format_str, "cfg_encoder_set_format_str"},
    {cfg_encoder_set_program, "cfg_encoder_set_program"},
};

constexpr named_setter<global_setter> kGlobalSetters[] = {
    {cfg_set_metadata_program, "cfg_set_metadata_program"},
    {cfg_set_metadata_format_str, "cfg_set_metadata_format_str"},
    {cfg_set_metadata_refresh_interval, "cfg_set_metadata_refresh_interval"},
    {cfg_set_metadata_normalize_strings, "cfg_set_metadata_normalize_strings"},
    {cfg_set_metadata_no_updates, "cfg_set_metadata_no_updates"},
    {cfg_set_program_name, "cfg_set_program_name"},
    {cfg_set_program_config_file, "cfg_set_program_config_file"},
    {cfg_set_program_second_path, "cfg_set_program_second_path"},
};

// Operations that are no setter of one text.
enum other_op : uint8_t {
    kSelectEntry,   // next byte picks the kind; the text names the entry
    kRemoveEntry,   // next byte: decoder or encoder
    kEncoderFormat, // next byte: a format code within range
    kClearEncoder,  // the stream's encoder set to null
    kValidate,      // all five validations
    kPlaceholders,  // the version-0 checks on the text
    kOtherOps,
};

constexpr size_t kSetterOps = std::size(kServerSetters) + std::size(kStreamSetters) +
                              std::size(kIntakeSetters) + std::size(kDecoderSetters) +
                              std::size(kEncoderSetters) + std::size(kGlobalSetters);

// Entries come and go; after a removal the cursor falls back on "default".
void reselect(cursor &c)
{
    if (c.decoder == nullptr)
        c.decoder = cfg_decoder_list_get(cfg_get_decoders(), "default");
    if (c.encoder == nullptr)
        c.encoder = cfg_encoder_list_get(cfg_get_encoders(), "default");
}

void run(input_reader &in)
{
    cursor c{
        cfg_server_list_get(cfg_get_servers(), "default"),
        cfg_stream_list_get(cfg_get_streams(), "default"),
        cfg_intake_list_get(cfg_get_intakes(), "default"),
        cfg_decoder_list_get(cfg_get_decoders(), "default"),
        cfg_encoder_list_get(cfg_get_encoders(), "default"),
    };
    for (int steps = 0; !in.empty() && steps < 256; steps++) {
        size_t op = in.byte() % (kSetterOps + kOtherOps);
        if (op < kSetterOps) {
            const char *value = in.text();
            if (op < std::size(kServerSetters)) {
                const auto &s = kServerSetters[op];
                call(s.set, c.server, cfg_get_servers(), value, s.name);
            } else if ((op -= std::size(kServerSetters)) < std::size(kStreamSetters)) {
                const auto &s = kStreamSetters[op];
                call(s.set, c.stream, cfg_get_streams(), value, s.name,
                     s.set == cfg_stream_set_encoder);
            } else if ((op -= std::size(kStreamSetters)) < std::size(kIntakeSetters)) {
                const auto &s = kIntakeSetters[op];
                call(s.set, c.intake, cfg_get_intakes(), value, s.name);
            } else if ((op -= std::size(kIntakeSetters)) < std::size(kDecoderSetters)) {
                const auto &s = kDecoderSetters[op];
                call(s.set, c.decoder, cfg_get_decoders(), value, s.name);
            } else if ((op -= std::size(kDecoderSetters)) < std::size(kEncoderSetters)) {
                const auto &s = kEncoderSetters[op];
                call(s.set, c.encoder, cfg_get_encoders(), value, s.name);
            } else {
                const auto &s = kGlobalSetters[op - std::size(kEncoderSetters)];
                call(s.set, value, s.name);
            }
        } else {
            switch (static_cast<other_op>(op - kSetterOps)) {
            case kSelectEntry: {
                const uint8_t kind = in.byte() % 5;
                const char *name = in.text();
                // An empty name selects nothing; the cursor stays.
                if (kind == 0) {
                    if (auto *e = cfg_server_list_get(cfg_get_servers(), name))
                        c.server = e;
                } else if (kind == 1) {
                    if (auto *e = cfg_stream_list_get(cfg_get_streams(), name))
                        c.stream = e;
                } else if (kind == 2) {
                    if (auto *e = cfg_intake_list_get(cfg_get_intakes(), name))
                        c.intake = e;
                } else if (kind == 3) {
                    if (auto *e = cfg_decoder_list_get(cfg_get_decoders(), name))
                        c.decoder = e;
                } else {
                    if (auto *e = cfg_encoder_list_get(cfg_get_encoders(), name))
                        c.encoder = e;
                }
                break;
            }
            case kRemoveEntry:
                if (in.byte() % 2 == 0)
                    cfg_decoder_list_remove(cfg_get_decoders(), &c.decoder);
                else
                    cfg_encoder_list_remove(cfg_get_encoders(), &c.encoder);
                reselect(c);
                break;
            case kEncoderFormat:
                FUZZ_CHECK(cfg_encoder_set_format(
                               c.encoder, CFG_STREAM_MIN + in.byte() % (CFG_STREAM_MAX -
                                                                        CFG_STREAM_MIN + 1)) == 0,
                           "a format code within range was refused");
                break;
            case kClearEncoder:
                FUZZ_CHECK(cfg_stream_set_encoder(c.stream, cfg_get_streams(), nullptr, nullptr) ==
                               0,
                           "clearing the encoder failed");
                FUZZ_CHECK(cfg_stream_get_encoder(c.stream) == nullptr, "encoder not cleared");
                break;
            case kValidate:
                validate(cfg_server_validate, c.server);
                validate(cfg_stream_validate, c.stream);
                validate(cfg_intake_validate, c.intake);
                validate(cfg_decoder_validate, c.decoder);
                validate(cfg_encoder_validate, c.encoder);
                break;
            case kPlaceholders:
                check_placeholders(in.text());
                break;
            case kOtherOps:
                break;
            }
        }
        touch_getters(c);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_quiet_log();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    cfg_init();
    input_reader in(data, size);
    run(in);
    check_document_wellformed();
    cfg_exit();
    return 0;
}
