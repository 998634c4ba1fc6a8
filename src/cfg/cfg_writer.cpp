#include "cfg/cfg_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

#include "cfg/cfg_document.h"
#include "cfg/cfg_fields.h"

namespace {

// The document's bytes on their way to the stream: gathered here and handed
// over in pieces of kSize, so that the stream sees one call per piece rather
// than one per tag, value and escape. The buffer lives on the stack: writing
// allocates nothing, and so cannot fail for want of memory half-way.
class document_sink {
  public:
    explicit document_sink(FILE *out) : out_(out) {}
    ~document_sink() { flush(); }
    document_sink(const document_sink &) = delete;
    document_sink &operator=(const document_sink &) = delete;

    void put(const void *bytes, std::size_t n)
    {
        if (n > kSize - used_) {
            flush();
            // A run longer than the buffer goes out straight from where it
            // is, without a copy.
            if (n >= kSize) {
                std::fwrite(bytes, 1, n, out_);
                return;
            }
        }
        std::memcpy(buffer_.data() + used_, bytes, n);
        used_ += n;
    }
    void put(std::string_view text) { put(text.data(), text.size()); }
    // A few bytes at most kShort long, `bytes` padded to kShort: copied
    // whole, which is a single move, and counted by their length.
    static constexpr std::size_t kShort = 8;
    void put_short(const char (&bytes)[kShort], std::size_t n)
    {
        if (kSize - used_ < kShort)
            flush();
        std::memcpy(buffer_.data() + used_, bytes, kShort);
        used_ += n;
    }
    void put_blanks(std::size_t n)
    {
        static constexpr std::string_view kBlanks = "                ";
        for (; n > kBlanks.size(); n -= kBlanks.size())
            put(kBlanks);
        put(kBlanks.substr(0, n));
    }
    void flush()
    {
        if (used_ != 0)
            std::fwrite(buffer_.data(), 1, used_, out_);
        used_ = 0;
    }

  private:
    static constexpr std::size_t kSize = 64 * 1024;
    FILE *out_;
    std::size_t used_ = 0;
    std::array<char, kSize> buffer_;
};

// What the writer does with each byte of a text.
enum class byte_kind : unsigned char {
    plain,   // goes out as it is
    amp,     // &
    lt,      // <
    gt,      // >, escaped only where it would close "]]>"
    cr,      // a carriage return, which the parser would turn into a newline
    invalid, // a control byte no XML 1.0 document can carry
    utf8,    // the start of a character whose bytes need checking
};

constexpr auto kByteKind = [] {
    std::array<byte_kind, 256> kind{};
    for (std::size_t c = 0; c < 0x20; c++)
        kind[c] = byte_kind::invalid;
    kind['\t'] = kind['\n'] = byte_kind::plain;
    kind['\r'] = byte_kind::cr;
    kind['&'] = byte_kind::amp;
    kind['<'] = byte_kind::lt;
    kind['>'] = byte_kind::gt;
    for (std::size_t c = 0x80; c < 0x100; c++)
        kind[c] = byte_kind::utf8;
    return kind;
}();

// What goes out in place of a byte, padded for document_sink::put_short.
struct escape {
    char bytes[document_sink::kShort];
    std::size_t size;
};
constexpr escape kAmpEscape{"&amp;", 5};
constexpr escape kLtEscape{"&lt;", 4};
constexpr escape kGtEscape{"&gt;", 4};
constexpr escape kCrEscape{"&#13;", 5};
constexpr escape kReplacement{"\xEF\xBF\xBD", 3};
static_assert(sizeof kCfgReplacementChar == 4 &&
              std::string_view(kReplacement.bytes) == kCfgReplacementChar);

// Character data that parses back to the same bytes. Runs of bytes that go
// out as they are are copied in one piece each; a run longer than the
// sink's buffer goes out straight from the value.
void put_text(document_sink &out, const char *value)
{
    const auto *start = reinterpret_cast<const unsigned char *>(value);
    const unsigned char *end = start + std::strlen(value);
    const unsigned char *run = start;
    const unsigned char *s = start;
    while ((s = cfg_document_skip_plain(start, s, end)) < end) {
        const escape *escape = &kReplacement;
        switch (kByteKind[*s]) {
        case byte_kind::plain: // a tab or newline, which the scan stops at
            s++;
            continue;
        case byte_kind::amp:
            escape = &kAmpEscape;
            break;
        case byte_kind::lt:
            escape = &kLtEscape;
            break;
        case byte_kind::gt:
            if (s - start < 2 || s[-1] != ']' || s[-2] != ']') {
                s++;
                continue;
            }
            escape = &kGtEscape;
            break;
        case byte_kind::cr:
            escape = &kCrEscape;
            break;
        case byte_kind::invalid:
            break;
        case byte_kind::utf8:
            if (const std::size_t len = cfg_document_char_length(s); len != 0) {
                s += len;
                continue;
            }
            break;
        }
        out.put(run, static_cast<std::size_t>(s - run));
        out.put_short(escape->bytes, escape->size);
        run = ++s;
    }
    out.put(run, static_cast<std::size_t>(end - run));
}

void put_tag(document_sink &out, std::string_view open, const char *element, std::string_view close)
{
    out.put(open);
    out.put(element, std::strlen(element));
    out.put(close);
}

void write_line(document_sink &out, int indent, const char *element, const char *value)
{
    out.put_blanks(static_cast<std::size_t>(indent));
    put_tag(out, "<", element, ">");
    put_text(out, value);
    put_tag(out, "</", element, ">\n");
}

constexpr int kFieldIndent = 6;
constexpr int kMetadataIndent = 4;

// Where the document goes, and whether its secrets are shown.
struct document_out {
    document_sink *sink;
    bool hide_secrets;

    // What a field's line shows of `value`.
    template <typename Field> const char *shown(const Field &field, const char *value) const
    {
        return field.secret && hide_secrets ? kCfgSecretMark : value;
    }
};

struct repeated_line {
    document_sink *out;
    const char *element;
    const char *mark; // in place of every value, or null
};

void write_repeated_line(const char *value, void *arg)
{
    const auto *line = static_cast<const repeated_line *>(arg);
    write_line(*line->out, kFieldIndent, line->element, line->mark != nullptr ? line->mark : value);
}

// The opening line, a line for each field whose value is set, in the order
// of the kind's table, then the closing line. `arg` is the document_out.
template <const auto &Kind> void write_entry(auto *entry, void *arg)
{
    const auto &to = *static_cast<const document_out *>(arg);
    document_sink &out = *to.sink;
    put_tag(out, "    <", Kind.entry, ">\n");
    for (const auto &field : Kind.fields) {
        if (field.each != nullptr) {
            repeated_line line{&out, field.element, to.shown(field, nullptr)};
            field.each(entry, write_repeated_line, &line);
        } else if (const cfg_field_value value = field.get(entry)) {
            write_line(out, kFieldIndent, field.element, to.shown(field, value.c_str()));
        }
    }
    put_tag(out, "    </", Kind.entry, ">\n");
}

template <typename Walk> void write_section(document_sink &out, const char *element, Walk walk)
{
    put_tag(out, "\n  <", element, ">\n");
    walk();
    put_tag(out, "  </", element, ">\n");
}

// Some sections are written even when empty (servers, streams and intakes);
// the others only when they hold an entry.
template <const auto &Kind> void write_list(document_out &to)
{
    if (!Kind.written_when_empty && Kind.count(Kind.list()) == 0)
        return;
    write_section(*to.sink, Kind.section,
                  [&] { Kind.for_each(Kind.list(), write_entry<Kind>, &to); });
}

void write_metadata(document_sink &out)
{
    constexpr std::span<const cfg_metadata_field> kFields = kCfgMetadata.fields;
    cfg_field_value values[kFields.size()];
    bool any = false;
    for (std::size_t i = 0; i < kFields.size(); i++) {
        values[i] = kFields[i].get();
        any = any || static_cast<bool>(values[i]);
    }
    if (!any)
        return;
    write_section(out, kCfgMetadata.section, [&] {
        for (std::size_t i = 0; i < kFields.size(); i++) {
            if (values[i])
                write_line(out, kMetadataIndent, kFields[i].element, values[i].c_str());
        }
    });
}

void write_document(FILE *file, bool hide_secrets)
{
    document_sink out(file);
    document_out to{&out, hide_secrets};
    put_tag(out, "<", kCfgDocumentRoot, ">\n");
    cfg_entry_kinds::for_each([&]<const auto & Kind>() { write_list<Kind>(to); });
    write_metadata(out);
    put_tag(out, "</", kCfgDocumentRoot, ">\n");
}

// An entry on its own is written with every value shown.
template <const auto &Kind> void write_one(auto *entry, void *file)
{
    document_sink out(static_cast<FILE *>(file));
    document_out to{&out, false};
    write_entry<Kind>(entry, &to);
}

} // namespace

void cfg_document_write(FILE *out)
{
    write_document(out, false);
}

void cfg_document_write_redacted(FILE *out)
{
    write_document(out, true);
}

void cfg_document_write_server(cfg_server *server, void *out)
{
    write_one<kCfgServers>(server, out);
}

void cfg_document_write_stream(cfg_stream *stream, void *out)
{
    write_one<kCfgStreams>(stream, out);
}

void cfg_document_write_intake(cfg_intake *intake, void *out)
{
    write_one<kCfgIntakes>(intake, out);
}

void cfg_document_write_decoder(cfg_decoder *decoder, void *out)
{
    write_one<kCfgDecoders>(decoder, out);
}

void cfg_document_write_encoder(cfg_encoder *encoder, void *out)
{
    write_one<kCfgEncoders>(encoder, out);
}

void cfg_document_write_file_ext(const char *ext, void *out)
{
    // The file extensions are the decoder's one field that repeats.
    static const char *const kElement =
        std::ranges::find_if(kCfgDecoderFields, [](const auto &field) {
            return field.each != nullptr;
        })->element;
    document_sink sink(static_cast<FILE *>(out));
    write_line(sink, kFieldIndent, kElement, ext);
}
