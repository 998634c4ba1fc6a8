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
#include "setter_ops.h"

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

// What a reason holds until a setter refuses.
constexpr char kUntouched[] = "untouched";

bool is_empty(const char *text)
{
    return text == nullptr || text[0] == '\0';
}

// A reason must be a readable, non-empty static text.
void check_outcome(int result, const char *reason, const char *value, const fuzz_setter_op &op)
{
    FUZZ_CHECK(result == 0 || result == -1, "<%s><%s> returned %d", op.where, op.element, result);
    if (result == 0) {
        FUZZ_CHECK(reason == kUntouched, "<%s><%s> succeeded but set a reason", op.where,
                   op.element);
        FUZZ_CHECK(!is_empty(value) || (op.null_clears && value == nullptr),
                   "<%s><%s> accepted an empty value", op.where, op.element);
    } else {
        FUZZ_CHECK(reason != kUntouched && reason != nullptr && reason[0] != '\0',
                   "<%s><%s> refused without a reason", op.where, op.element);
        if (is_empty(value) && !(op.null_clears && value == nullptr))
            FUZZ_CHECK(std::strcmp(reason, "empty") == 0,
                       "<%s><%s> refused an empty value with '%s'", op.where, op.element, reason);
    }
}

void call(const fuzz_setter_op &op, fuzz_cursor &c, const char *value)
{
    const char *reason = kUntouched;
    const int result = op.call(op.row, c, value, &reason);
    check_outcome(result, reason, value, op);
    // A null errstrp must be taken as well.
    op.call(op.row, c, value, nullptr);
}

void validate_all(const fuzz_cursor &c)
{
    cfg_entry_kinds::for_each([&]<const auto &Kind>() {
        const char *reason = nullptr;
        if (Kind.validate(std::get<fuzz_entry_of<Kind> *>(c), &reason) != 0)
            FUZZ_CHECK(reason != nullptr && reason[0] != '\0',
                       "a validation of a %s refused without reason", Kind.entry);
    });
}

volatile size_t getter_sink;

// Touches every byte a getter hands out, so that a dangling or unterminated
// text shows up under the sanitizers.
size_t touch(const char *text)
{
    return text != nullptr ? std::strlen(text) : 0;
}

void touch_value(const char *value, void *arg)
{
    *static_cast<size_t *>(arg) += touch(value);
}

// Every name, and what the writer would write of every field of the
// cursor's entries and of the metadata, through the getters the registry's
// rows call.
void touch_getters(const fuzz_cursor &c)
{
    size_t n = 0;
    cfg_document_sections::for_each([&]<const auto &Section>() {
        if constexpr (Section.entry == nullptr) {
            for (const auto &field : Section.fields)
                n += touch(field.get().c_str());
        } else {
            auto *entry = std::get<fuzz_entry_of<Section> *>(c);
            n += touch(Section.name(entry));
            for (const auto &field : Section.fields) {
                if (field.each != nullptr)
                    field.each(entry, touch_value, &n);
                else
                    n += touch(field.get(entry).c_str());
            }
        }
    });
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

constexpr size_t kSetterOps = kFuzzSetterOps.size();

// The entry of each kind named "default", which every cursor starts at and
// falls back on after a removal.
void reselect(fuzz_cursor &c)
{
    cfg_entry_kinds::for_each([&]<const auto &Kind>() {
        auto *&entry = std::get<fuzz_entry_of<Kind> *>(c);
        if (entry == nullptr)
            entry = Kind.get(Kind.list(), "default");
    });
}

void run(input_reader &in)
{
    fuzz_cursor c{};
    reselect(c);
    for (int steps = 0; !in.empty() && steps < 256; steps++) {
        size_t op = in.byte() % (kSetterOps + kOtherOps);
        if (op < kSetterOps) {
            call(kFuzzSetterOps[op], c, in.text());
        } else {
            switch (static_cast<other_op>(op - kSetterOps)) {
            case kSelectEntry: {
                const auto kind = static_cast<uint8_t>(in.byte() % cfg_entry_kinds::size);
                const char *name = in.text();
                // An empty name selects nothing; the cursor stays.
                uint8_t at = 0;
                cfg_entry_kinds::any_of([&]<const auto &Kind>() {
                    if (at++ != kind)
                        return false;
                    if (auto *e = Kind.get(Kind.list(), name))
                        std::get<fuzz_entry_of<Kind> *>(c) = e;
                    return true;
                });
                break;
            }
            case kRemoveEntry:
                if (in.byte() % 2 == 0)
                    cfg_decoder_list_remove(cfg_get_decoders(), &std::get<cfg_decoder *>(c));
                else
                    cfg_encoder_list_remove(cfg_get_encoders(), &std::get<cfg_encoder *>(c));
                reselect(c);
                break;
            case kEncoderFormat:
                FUZZ_CHECK(cfg_encoder_set_format(
                               std::get<cfg_encoder *>(c),
                               CFG_STREAM_MIN +
                                   in.byte() % (CFG_STREAM_MAX - CFG_STREAM_MIN + 1)) == 0,
                           "a format code within range was refused");
                break;
            case kClearEncoder: {
                cfg_stream *stream = std::get<cfg_stream *>(c);
                FUZZ_CHECK(cfg_stream_set_encoder(stream, cfg_get_streams(), nullptr, nullptr) ==
                               0,
                           "clearing the encoder failed");
                FUZZ_CHECK(cfg_stream_get_encoder(stream) == nullptr, "encoder not cleared");
                break;
            }
            case kValidate:
                validate_all(c);
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
