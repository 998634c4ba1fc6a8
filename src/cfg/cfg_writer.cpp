#include "cfg/cfg_writer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>

#include <libxml/parserInternals.h>

#include "cfg/cfg_text_limit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A line's value, or nothing when the line is left out because the model
// holds no setting or the one assumed in the line's absence. Texts are
// borrowed from the model, so long ones are never copied; only numbers
// need a text of their own.
class line_value {
  public:
    line_value() = default;
    line_value(const char *text) : text_(text) {}
    explicit line_value(std::string number) : number_(std::move(number)), is_number_(true) {}

    explicit operator bool() const { return is_number_ || text_ != nullptr; }
    const char *c_str() const { return is_number_ ? number_.c_str() : text_; }

  private:
    const char *text_ = nullptr;
    std::string number_;
    bool is_number_ = false;
};

line_value text(const char *value)
{
    return value;
}

line_value flag(int value)
{
    return value != 0 ? "yes" : nullptr;
}

// The reader gives an unnamed entry the name "default", so that name needs
// no line of its own, whatever its letter case.
line_value entry_name(const char *name)
{
    return strcasecmp(name, "default") != 0 ? name : nullptr;
}

// Stands in for bytes that no XML 1.0 document can carry (see cfg_document_char_length).
constexpr char kReplacementChar[] = "\xEF\xBF\xBD";

} // namespace

// Length of the character at `s` when it is well-formed UTF-8 and allowed in
// XML 1.0 character data, else 0. Control bytes other than tab, newline and
// carriage return, malformed or overlong sequences, surrogates and U+FFFE,
// U+FFFF would make the document ill-formed and the whole configuration
// unreadable.
std::size_t cfg_document_char_length(const unsigned char *s)
{
    const unsigned char lead = s[0];
    if (lead < 0x80)
        return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;

    std::size_t len;
    uint32_t cp;
    uint32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    // The terminating NUL is no continuation byte, so this stops at the end.
    for (std::size_t i = 1; i < len; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
        return 0;
    return len;
}

namespace {

// Bytes that go out as they are; the others need a look of their own.
constexpr auto kPlainAscii = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; c++)
        plain[c] = c != '&' && c != '<' && c != '>';
    plain['\t'] = plain['\n'] = true;
    return plain;
}();

// The first byte at or after `s` that may need a look of its own: a byte
// outside printable ASCII, or one of & < >. Plain runs are the bulk of long
// texts, so where the processor allows it they are skipped sixteen bytes at
// a time; the byte-wise loop of write_text takes the rest.
const unsigned char *skip_plain(const unsigned char *s, const unsigned char *end)
{
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i space = _mm_set1_epi8(0x20);
    while (end - s >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
        // A signed compare: bytes of 0x80 and above count as below the blank.
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)),
                         _mm_or_si128(_mm_cmpeq_epi8(x, gt), _mm_cmplt_epi8(x, space)));
        if (const int mask = _mm_movemask_epi8(special); mask != 0)
            return s + __builtin_ctz(static_cast<unsigned int>(mask));
        s += 16;
    }
#else
    (void)end;
#endif
    return s;
}

} // namespace

static_assert(kCfgTextMax == XML_MAX_TEXT_LENGTH, "the reader's limit is the XML library's");

bool cfg_text_fits_document(const char *text)
{
    const std::size_t len = strnlen(text, kCfgTextMax + 1);
    if (len > kCfgTextMax)
        return false;
    // Only a replaced byte grows, from one byte to three; most texts are
    // short enough for that not to matter.
    if (len <= kCfgTextMax / 3)
        return true;
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = s + len;
    std::size_t written = len;
    while ((s = skip_plain(s, end)) < end) {
        if (const std::size_t n = cfg_document_char_length(s); n != 0) {
            s += n;
            continue;
        }
        written += 2;
        if (written > kCfgTextMax)
            return false;
        s++;
    }
    return true;
}

namespace {

// Character data that parses back to the same bytes. A carriage return goes
// out as a reference because the parser turns a literal one into a newline.
// The escaped text is gathered first and written in one call.
void write_text(FILE *out, const char *value)
{
    // Escaped text goes out in pieces of about this size, so a long value
    // costs neither a second copy of itself nor the memory for one.
    constexpr std::size_t kPiece = 64 * 1024;
    const auto *start = reinterpret_cast<const unsigned char *>(value);
    const unsigned char *end = start + std::strlen(value);
    std::string text;
    const unsigned char *run = start;
    const unsigned char *s = start;
    while ((s = skip_plain(s, end)) < end) {
        std::string_view escape = kReplacementChar;
        if (*s < 0x80) {
            switch (*s) {
            case '&':
                escape = "&amp;";
                break;
            case '<':
                escape = "&lt;";
                break;
            case '>':
                escape = "&gt;";
                if (s - start >= 2 && s[-1] == ']' && s[-2] == ']')
                    break;
                s++;
                continue;
            case '\r':
                escape = "&#13;";
                break;
            default:
                if (kPlainAscii[*s]) {
                    s++;
                    continue;
                }
                break;
            }
        } else if (const std::size_t len = cfg_document_char_length(s); len != 0) {
            s += len;
            continue;
        }
        if (text.capacity() < kPiece)
            text.reserve(kPiece + kPiece / 4);
        text.append(reinterpret_cast<const char *>(run), static_cast<std::size_t>(s - run));
        text.append(escape);
        run = ++s;
        if (text.size() >= kPiece) {
            std::fwrite(text.data(), 1, text.size(), out);
            text.clear();
        }
    }
    if (!text.empty())
        std::fwrite(text.data(), 1, text.size(), out);
    if (run != end)
        std::fwrite(run, 1, static_cast<std::size_t>(end - run), out);
}

void write_line(FILE *out, int indent, const char *element, const line_value &value)
{
    std::fprintf(out, "%*s<%s>", indent, "", element);
    write_text(out, value.c_str());
    std::fprintf(out, "</%s>\n", element);
}

constexpr int kFieldIndent = 6;
constexpr int kMetadataIndent = 4;

template <typename Entry> struct entry_line {
    const char *element;
    line_value (*value)(Entry *entry);
};

// The opening line, the lines whose value is set, then whatever `more`
// writes (the decoder's file extensions), then the closing line.
template <typename Entry, std::size_t N>
void write_entry(FILE *out, const char *element, Entry *entry, const entry_line<Entry> (&lines)[N],
                 void (*more)(Entry *, FILE *) = nullptr)
{
    std::fprintf(out, "    <%s>\n", element);
    for (const entry_line<Entry> &line : lines) {
        if (line_value value = line.value(entry))
            write_line(out, kFieldIndent, line.element, value);
    }
    if (more != nullptr)
        more(entry, out);
    std::fprintf(out, "    </%s>\n", element);
}

// Every table lists its lines in document order.

constexpr entry_line<cfg_server> kServerLines[] = {
    {"name", [](cfg_server *s) { return entry_name(cfg_server_get_name(s)); }},
    {"protocol", [](cfg_server *s) { return text(cfg_server_get_protocol_str(s)); }},
    {"hostname", [](cfg_server *s) { return text(cfg_server_get_hostname(s)); }},
    {"port",
     [](cfg_server *s) -> line_value {
         const int port = cfg_server_get_port(s);
         if (port == 8000)
             return {};
         return line_value(std::to_string(static_cast<unsigned int>(port)));
     }},
    {"user",
     [](cfg_server *s) -> line_value {
         const char *user = cfg_server_get_user(s);
         if (strcasecmp(user, "source") == 0)
             return {};
         return user;
     }},
    {"password", [](cfg_server *s) { return text(cfg_server_get_password(s)); }},
    {"tls",
     [](cfg_server *s) -> line_value {
         if (cfg_server_get_tls(s) == CFG_TLS_MAY)
             return {};
         return cfg_server_get_tls_str(s);
     }},
    {"tls_cipher_suite", [](cfg_server *s) { return text(cfg_server_get_tls_cipher_suite(s)); }},
    {"ca_dir", [](cfg_server *s) { return text(cfg_server_get_ca_dir(s)); }},
    {"ca_file", [](cfg_server *s) { return text(cfg_server_get_ca_file(s)); }},
    {"client_cert", [](cfg_server *s) { return text(cfg_server_get_client_cert(s)); }},
    {"reconnect_attempts",
     [](cfg_server *s) -> line_value {
         const uint32_t attempts = cfg_server_get_reconnect_attempts(s);
         if (attempts == 0)
             return {};
         return line_value(std::to_string(attempts));
     }},
};

// A stream without a format gets no format line: the reader then refuses
// the entry with "format missing or unsupported" instead of taking in a
// made-up word.
constexpr entry_line<cfg_stream> kStreamLines[] = {
    {"name", [](cfg_stream *s) { return entry_name(cfg_stream_get_name(s)); }},
    {"mountpoint", [](cfg_stream *s) { return text(cfg_stream_get_mountpoint(s)); }},
    {"intake", [](cfg_stream *s) { return text(cfg_stream_get_intake(s)); }},
    {"server", [](cfg_stream *s) { return text(cfg_stream_get_server(s)); }},
    {"public", [](cfg_stream *s) { return flag(cfg_stream_get_public(s)); }},
    {"format", [](cfg_stream *s) { return text(cfg_stream_get_format_str(s)); }},
    {"encoder", [](cfg_stream *s) { return text(cfg_stream_get_encoder(s)); }},
    {"stream_name", [](cfg_stream *s) { return text(cfg_stream_get_stream_name(s)); }},
    {"stream_url", [](cfg_stream *s) { return text(cfg_stream_get_stream_url(s)); }},
    {"stream_genre", [](cfg_stream *s) { return text(cfg_stream_get_stream_genre(s)); }},
    {"stream_description",
     [](cfg_stream *s) { return text(cfg_stream_get_stream_description(s)); }},
    {"stream_quality", [](cfg_stream *s) { return text(cfg_stream_get_stream_quality(s)); }},
    {"stream_bitrate", [](cfg_stream *s) { return text(cfg_stream_get_stream_bitrate(s)); }},
    {"stream_samplerate", [](cfg_stream *s) { return text(cfg_stream_get_stream_samplerate(s)); }},
    {"stream_channels", [](cfg_stream *s) { return text(cfg_stream_get_stream_channels(s)); }},
};

constexpr entry_line<cfg_intake> kIntakeLines[] = {
    {"name", [](cfg_intake *i) { return entry_name(cfg_intake_get_name(i)); }},
    {"type",
     [](cfg_intake *i) -> line_value {
         if (cfg_intake_get_type(i) == CFG_INTAKE_AUTODETECT)
             return {};
         return cfg_intake_get_type_str(i);
     }},
    {"filename", [](cfg_intake *i) { return text(cfg_intake_get_filename(i)); }},
    {"shuffle", [](cfg_intake *i) { return flag(cfg_intake_get_shuffle(i)); }},
    {"stream_once", [](cfg_intake *i) { return flag(cfg_intake_get_stream_once(i)); }},
};

// The file extensions follow these lines.
constexpr entry_line<cfg_decoder> kDecoderLines[] = {
    {"name", [](cfg_decoder *d) { return entry_name(cfg_decoder_get_name(d)); }},
    {"program", [](cfg_decoder *d) { return text(cfg_decoder_get_program(d)); }},
};

// As for streams, an encoder without a format gets no format line and the
// reader refuses it with "format not set".
constexpr entry_line<cfg_encoder> kEncoderLines[] = {
    {"name", [](cfg_encoder *e) { return entry_name(cfg_encoder_get_name(e)); }},
    {"format",
     [](cfg_encoder *e) { return text(cfg_stream_format_name(cfg_encoder_get_format(e))); }},
    {"program", [](cfg_encoder *e) { return text(cfg_encoder_get_program(e)); }},
};

void write_file_exts(cfg_decoder *decoder, FILE *out)
{
    cfg_decoder_foreach_ext(decoder, cfg_document_write_file_ext, out);
}

struct metadata_line {
    const char *element;
    line_value (*value)();
};

constexpr metadata_line kMetadataLines[] = {
    {"program", [] { return text(cfg_get_metadata_program()); }},
    {"format_str", [] { return text(cfg_get_metadata_format_str()); }},
    {"refresh_interval",
     []() -> line_value {
         const int interval = cfg_get_metadata_refresh_interval();
         if (interval < 0)
             return {};
         return line_value(std::to_string(interval));
     }},
    {"normalize_strings", [] { return flag(cfg_get_metadata_normalize_strings()); }},
    {"no_updates", [] { return flag(cfg_get_metadata_no_updates()); }},
};

FILE *stream_of(void *out)
{
    return static_cast<FILE *>(out);
}

template <typename Walk> void write_section(FILE *out, const char *element, Walk walk)
{
    std::fprintf(out, "\n  <%s>\n", element);
    walk();
    std::fprintf(out, "  </%s>\n", element);
}

void write_metadata(FILE *out)
{
    line_value values[std::size(kMetadataLines)];
    bool any = false;
    for (std::size_t i = 0; i < std::size(kMetadataLines); i++) {
        values[i] = kMetadataLines[i].value();
        any = any || static_cast<bool>(values[i]);
    }
    if (!any)
        return;
    write_section(out, "metadata", [&] {
        for (std::size_t i = 0; i < std::size(kMetadataLines); i++) {
            if (values[i])
                write_line(out, kMetadataIndent, kMetadataLines[i].element, values[i]);
        }
    });
}

} // namespace

void cfg_document_write(FILE *out)
{
    std::fprintf(out, "<%s>\n", kCfgDocumentRoot);
    write_section(out, "servers", [&] {
        cfg_server_list_foreach(cfg_get_servers(), cfg_document_write_server, out);
    });
    write_section(out, "streams", [&] {
        cfg_stream_list_foreach(cfg_get_streams(), cfg_document_write_stream, out);
    });
    write_section(out, "intakes", [&] {
        cfg_intake_list_foreach(cfg_get_intakes(), cfg_document_write_intake, out);
    });
    if (cfg_decoder_list_count(cfg_get_decoders()) > 0) {
        write_section(out, "decoders", [&] {
            cfg_decoder_list_foreach(cfg_get_decoders(), cfg_document_write_decoder, out);
        });
    }
    if (cfg_encoder_list_count(cfg_get_encoders()) > 0) {
        write_section(out, "encoders", [&] {
            cfg_encoder_list_foreach(cfg_get_encoders(), cfg_document_write_encoder, out);
        });
    }
    write_metadata(out);
    std::fprintf(out, "</%s>\n", kCfgDocumentRoot);
}

void cfg_document_write_server(cfg_server *server, void *out)
{
    write_entry(stream_of(out), "server", server, kServerLines);
}

void cfg_document_write_stream(cfg_stream *stream, void *out)
{
    write_entry(stream_of(out), "stream", stream, kStreamLines);
}

void cfg_document_write_intake(cfg_intake *intake, void *out)
{
    write_entry(stream_of(out), "intake", intake, kIntakeLines);
}

void cfg_document_write_decoder(cfg_decoder *decoder, void *out)
{
    write_entry(stream_of(out), "decoder", decoder, kDecoderLines, write_file_exts);
}

void cfg_document_write_encoder(cfg_encoder *encoder, void *out)
{
    write_entry(stream_of(out), "encoder", encoder, kEncoderLines);
}

void cfg_document_write_file_ext(const char *ext, void *out)
{
    write_line(stream_of(out), kFieldIndent, "file_ext", ext);
}
