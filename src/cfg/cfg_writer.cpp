#include "cfg/cfg_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "cfg/cfg_fields.h"

namespace {

// Bytes that go out as they are; the others need a look of their own.
constexpr auto kPlainAscii = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; c++)
        plain[c] = c != '&' && c != '<' && c != '>';
    plain['\t'] = plain['\n'] = true;
    return plain;
}();

// Character data that parses back to the same bytes. A carriage return goes
// out as a reference because the parser turns a literal one into a newline.
// Escapes, with the runs of plain bytes before them, are gathered into
// pieces that are written as they fill; the plain bytes after the last
// escape go out straight from the value.
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
    while ((s = cfg_document_skip_plain(s, end)) < end) {
        std::string_view escape = kCfgReplacementChar;
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

void write_line(FILE *out, int indent, const char *element, const char *value)
{
    std::fprintf(out, "%*s<%s>", indent, "", element);
    write_text(out, value);
    std::fprintf(out, "</%s>\n", element);
}

constexpr int kFieldIndent = 6;
constexpr int kMetadataIndent = 4;

// Where the document goes, and whether its secrets are shown.
struct document_out {
    FILE *file;
    bool hide_secrets;

    // What a field's line shows of `value`.
    template <typename Field> const char *shown(const Field &field, const char *value) const
    {
        return field.secret && hide_secrets ? kCfgSecretMark : value;
    }
};

struct repeated_line {
    FILE *out;
    const char *element;
    const char *mark; // in place of every value, or null
};

void write_repeated_line(const char *value, void *arg)
{
    const auto *line = static_cast<const repeated_line *>(arg);
    write_line(line->out, kFieldIndent, line->element, line->mark != nullptr ? line->mark : value);
}

// The opening line, a line for each field whose value is set, in the order
// of the kind's table, then the closing line. `arg` is the document_out.
template <const auto &Kind> void write_entry(auto *entry, void *arg)
{
    const auto &to = *static_cast<const document_out *>(arg);
    FILE *out = to.file;
    std::fprintf(out, "    <%s>\n", Kind.entry);
    for (const auto &field : Kind.fields) {
        if (field.each != nullptr) {
            repeated_line line{out, field.element, to.shown(field, nullptr)};
            field.each(entry, write_repeated_line, &line);
        } else if (const cfg_field_value value = field.get(entry)) {
            write_line(out, kFieldIndent, field.element, to.shown(field, value.c_str()));
        }
    }
    std::fprintf(out, "    </%s>\n", Kind.entry);
}

template <typename Walk> void write_section(FILE *out, const char *element, Walk walk)
{
    std::fprintf(out, "\n  <%s>\n", element);
    walk();
    std::fprintf(out, "  </%s>\n", element);
}

// The servers, streams and intakes sections are written even when empty;
// the decoders and encoders sections only when they hold an entry.
template <const auto &Kind> void write_list(document_out &to, bool when_empty)
{
    if (!when_empty && Kind.count(Kind.list()) == 0)
        return;
    write_section(to.file, Kind.section,
                  [&] { Kind.for_each(Kind.list(), write_entry<Kind>, &to); });
}

void write_metadata(FILE *out)
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

void write_document(document_out to)
{
    std::fprintf(to.file, "<%s>\n", kCfgDocumentRoot);
    write_list<kCfgServers>(to, true);
    write_list<kCfgStreams>(to, true);
    write_list<kCfgIntakes>(to, true);
    write_list<kCfgDecoders>(to, false);
    write_list<kCfgEncoders>(to, false);
    write_metadata(to.file);
    std::fprintf(to.file, "</%s>\n", kCfgDocumentRoot);
}

// An entry on its own is written with every value shown.
template <const auto &Kind> void write_one(auto *entry, void *out)
{
    document_out to{static_cast<FILE *>(out), false};
    write_entry<Kind>(entry, &to);
}

} // namespace

void cfg_document_write(FILE *out)
{
    write_document({out, false});
}

void cfg_document_write_redacted(FILE *out)
{
    write_document({out, true});
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
    write_line(static_cast<FILE *>(out), kFieldIndent, kElement, ext);
}
