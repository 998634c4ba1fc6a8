// Whatever the writer puts out, the reader must take back unchanged: write,
// read into a fresh store, write again, and compare the bytes.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <span>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <type_traits>
#include <vector>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_writer.h"
#include "test_support.h"

namespace {

using test_support::capture_log;
using test_support::capture_stream;
using test_support::TempFile;

constexpr unsigned int kConfigurations = 3000;

// Pieces of random texts: what XML treats specially, blanks and line ends
// the parser might normalise, and multi-byte UTF-8. No "@", so that only the
// placeholders put in on purpose occur in commands.
// clang-format off
const char *const kAtoms[] = {
    "a", "Z", "q", "0", "7", "-", "_", ".", "/", " ", "\t", "\n", "\r", "\r\n",
    "&", "<", ">", "]", "]]>", "]]", "&amp;", "&#13;", "\"", "'", "=", "!", "?", "#", ";",
    "%s", "\\", "<!--", "-->", "<![CDATA[", "\x7F",
    "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB5", "\xC2\x85", "\xE2\x80\xA8", "\xEF\xBB\xBF",
};
// clang-format on

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < percent; }

    template <typename T, std::size_t N> const T &one_of(const T (&items)[N])
    {
        return items[below(static_cast<int>(N))];
    }

    // A non-empty text of at most `max` bytes (0: no limit, but seldom
    // longer than a few thousand), now and then exactly `max`, sometimes
    // with a leading or trailing blank.
    std::string text(std::size_t max = 0)
    {
        const int limit = static_cast<int>(max != 0 ? max : 9000);
        int target;
        switch (below(20)) {
        case 0:
            target = limit;
            break;
        case 1:
            target = 1 + below(limit);
            break;
        default:
            target = 1 + below(std::min(limit, 40));
            break;
        }
        const std::size_t size = static_cast<std::size_t>(target);
        std::string out = chance(15) ? " " : "";
        const std::size_t body = chance(15) && size > out.size() ? size - 1 : size;
        while (out.size() < body) {
            const std::string atom = one_of(kAtoms);
            if (out.size() + atom.size() > body)
                break;
            out += atom;
        }
        while (out.size() < body)
            out += chance(50) ? 'x' : 'X';
        if (out.size() < size)
            out += chance(50) ? ' ' : '\t';
        return out;
    }

    // Randomly folded to capitals, since every name is matched without
    // regard to case.
    std::string mixed_case(std::string word)
    {
        for (char &c : word) {
            if (chance(50))
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return word;
    }

    std::string word(std::span<const cfg_code_name> words)
    {
        return mixed_case(words[static_cast<std::size_t>(below(static_cast<int>(words.size())))].name);
    }

    // Now and then one of the bounds, which are the likeliest to go wrong.
    std::string number(long long min, long long max)
    {
        if (chance(20))
            return std::to_string(chance(50) ? min : max);
        return std::to_string(std::uniform_int_distribution<long long>(min, max)(rng_));
    }

    // A command with the given placeholders, each once, in random order,
    // set off by blanks so that no token runs into another.
    std::string command(const std::vector<const char *> &required,
                        const std::vector<const char *> &optional)
    {
        std::vector<const char *> tokens(required);
        for (const char *token : optional) {
            if (chance(40))
                tokens.push_back(token);
        }
        std::shuffle(tokens.begin(), tokens.end(), rng_);
        std::string out = chance(20) ? "" : text(60);
        for (const char *token : tokens)
            out += std::string(" ") + token + " " + (chance(30) ? "" : text(60));
        return out.empty() ? text(60) : out;
    }

  private:
    std::mt19937 rng_;
};

// A value the field takes, of any length it takes: a command or a format
// holds each placeholder it needs once and some of those it may hold.
std::string random_value(Generator &g, const cfg_field_info &field)
{
    switch (field.type) {
    case cfg_field_type::number:
        return g.number(field.range->min, field.range->max);
    case cfg_field_type::word:
    case cfg_field_type::flag:
        return g.word(field.words);
    case cfg_field_type::reference:
        return g.text(40);
    default:
        break;
    }
    if (field.rules.empty())
        return g.text(field.bound);
    std::vector<const char *> required;
    std::vector<const char *> optional;
    for (const cfg_placeholder_rule &rule : field.rules) {
        if (rule.rule == cfg_placeholder_rule::exactly_once)
            required.push_back(rule.token);
    }
    for (const cfg_placeholder_rule &rule : field.rules) {
        if (rule.rule == cfg_placeholder_rule::at_most_once &&
            std::ranges::find_if(required, [&](const char *token) {
                return std::strcmp(token, rule.token) == 0;
            }) == required.end())
            optional.push_back(rule.token);
    }
    return g.command(required, optional);
}

// Fails the test, naming the field and the value, when a value the
// generator meant to be valid is refused.
void expect_set(int result, const char *what, const std::string &value, const char *reason)
{
    EXPECT_EQ(result, 0) << what << " refused \"" << value << "\": " << reason;
}

template <const auto &Kind, typename Entry, typename List>
void set_random(Generator &g, const typename std::remove_cvref_t<decltype(Kind)>::field &row,
                const cfg_field_info &field, Entry *entry, List list, int index)
{
    // Unique within the list whatever the letter case, so no extension
    // moves to another decoder.
    if (field.repeats) {
        const int values = 1 + g.below(3);
        for (int i = 0; i < values; i++) {
            const std::string value =
                "." + g.text(12) + "#" + std::to_string(index) + "." + std::to_string(i);
            const char *reason = nullptr;
            expect_set(row.set(entry, list, value.c_str(), &reason), row.element, value, reason);
        }
        return;
    }
    const std::string value = random_value(g, field);
    const char *reason = nullptr;
    expect_set(row.set(entry, list, value.c_str(), &reason), row.element, value, reason);
}

// Whether the writer writes a line of the field, or a line for a value of
// a field that repeats.
template <typename Row, typename Entry> bool written(const Row &row, Entry *entry)
{
    if (row.each == nullptr)
        return static_cast<bool>(row.get(entry));
    bool any = false;
    row.each(entry, [](const char *, void *arg) { *static_cast<bool *>(arg) = true; }, &any);
    return any;
}

// Sets each field of the entry but its name, or not; an entry the model
// refuses then gets every field it has no line for, and so the ones it
// needs (only a standard-input intake, say, may go without a file name).
template <const auto &Kind> void fill(Generator &g, auto *entry, auto list, int index)
{
    const auto &fields = cfg_fields::infos<Kind>;
    for (std::size_t i = 0; i < fields.size(); i++) {
        if (fields[i].type != cfg_field_type::name && g.chance(50))
            set_random<Kind>(g, Kind.fields[i], fields[i], entry, list, index);
    }
    if (Kind.validate(entry, nullptr) == 0)
        return;
    for (std::size_t i = 0; i < fields.size(); i++) {
        if (fields[i].type != cfg_field_type::name && !written(Kind.fields[i], entry))
            set_random<Kind>(g, Kind.fields[i], fields[i], entry, list, index);
    }
    const char *reason = nullptr;
    EXPECT_EQ(Kind.validate(entry, &reason), 0) << Kind.entry << ": " << reason;
}

// Builds up to three entries of the kind the way the program's own callers
// do: each starts as "default" and is then named. Only the last may stay
// unnamed or be named "default" in some letter case, since any later entry
// would take it over (as the reader does with unnamed entries followed by
// named ones).
template <const auto &Kind> void build_list(Generator &g)
{
    const auto list = Kind.list();
    const auto &name_row = Kind.fields[0]; // every kind's first field
    const int count = g.below(4);
    for (int i = 0; i < count; i++) {
        auto *entry = Kind.get(list, "default");
        const bool last = i == count - 1;
        const int how = last ? g.below(3) : 0;
        std::string name;
        if (how == 0)
            name = g.text(30) + "#" + std::to_string(i);
        else if (how == 1)
            name = g.mixed_case("default");
        // The name comes before or after the settings, as a document may
        // have it either way.
        const bool name_first = g.chance(50);
        auto give_name = [&] {
            if (name.empty())
                return;
            const char *reason = nullptr;
            expect_set(name_row.set(entry, list, name.c_str(), &reason), "name", name, reason);
        };
        if (name_first)
            give_name();
        fill<Kind>(g, entry, list, i);
        if (!name_first)
            give_name();
    }
}

void build_configuration(Generator &g)
{
    cfg_entry_kinds::for_each([&]<const auto &Kind>() { build_list<Kind>(g); });
    for (std::size_t i = 0; i < kCfgMetadata.fields.size(); i++) {
        if (!g.chance(40))
            continue;
        const std::string value = random_value(g, kCfgMetadataInfo.fields[i]);
        const char *reason = nullptr;
        expect_set(kCfgMetadata.fields[i].set(value.c_str(), &reason),
                   kCfgMetadata.fields[i].element, value, reason);
    }
}

std::string write_document()
{
    return capture_stream([](FILE *out) { cfg_document_write(out); });
}

struct ReadBack {
    int result;
    std::string document;
};

// Reads `document` into a fresh store and writes it again.
ReadBack read_back(const TempFile &file, const std::string &document)
{
    {
        std::ofstream out(file.path(), std::ios::binary | std::ios::trunc);
        out << document;
    }
    chmod(file.c_path(), 0600);
    cfg_init();
    const int result = cfg_document_read(file.c_path());
    return {result, write_document()};
}

uint32_t base_seed()
{
    if (const char *env = std::getenv("ONYX_ROUNDTRIP_SEED"))
        return static_cast<uint32_t>(std::strtoul(env, nullptr, 10));
    return std::random_device{}();
}

class CfgRoundTrip : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }
};

TEST_F(CfgRoundTrip, RandomConfigurationsComeBackByteForByte)
{
    const uint32_t base = base_seed();
    std::cout << "round-trip seed " << base << " (replay: ONYX_ROUNDTRIP_SEED=" << base << ")\n";
    TempFile file("", "onyx.xml");
    // One capture for the whole run keeps it fast; only a failing read
    // says anything, and the run stops there.
    const std::string messages = capture_log([&] {
        for (unsigned int i = 0; i < kConfigurations; i++) {
            // Each configuration has a seed of its own, so that a failure
            // can be replayed as the first configuration of a run.
            const uint32_t seed = base + i;
            SCOPED_TRACE("replay with ONYX_ROUNDTRIP_SEED=" + std::to_string(seed));
            Generator g(seed);
            cfg_init();
            build_configuration(g);
            if (HasFailure())
                return;
            const std::string first = write_document();
            const ReadBack back = read_back(file, first);
            ASSERT_EQ(back.result, 0) << first;
            ASSERT_EQ(back.document, first);
        }
    });
    EXPECT_EQ(messages, "");
}

// The XML library reads no text node longer than 10,000,000 bytes, so no
// setter may take a text that would be written longer: the written
// document would not read back. A byte the writer must replace is written
// as the three of U+FFFD.
TEST_F(CfgRoundTrip, TextsUpToTheDocumentLimitReadBackAndLongerOnesAreRefused)
{
    constexpr std::size_t kMax = 10000000;
    const std::string at_limit(kMax, 'x');
    const std::string replaced_at_limit = std::string(kMax / 3, '\x01') + "x";
    const std::string beyond(kMax + 1, 'x');
    const std::string replaced_beyond((kMax + 2) / 3, '\x01');

    cfg_stream_list streams = cfg_get_streams();
    cfg_stream *stream = cfg_stream_list_get(streams, "default");
    cfg_decoder_list decoders = cfg_get_decoders();
    cfg_decoder *decoder = cfg_decoder_list_get(decoders, "default");
    ASSERT_EQ(cfg_stream_set_format(stream, streams, "Ogg", nullptr), 0);
    ASSERT_EQ(cfg_decoder_set_program(decoder, decoders, "d @T@", nullptr), 0);

    // An owned text, an entry name and a file extension: each stores its
    // text in its own way.
    struct {
        const char *what;
        std::function<int(const std::string &, const char **)> set;
    } const setters[] = {
        {"stream description",
         [&](const std::string &v, const char **r) {
             return cfg_stream_set_stream_description(stream, streams, v.c_str(), r);
         }},
        {"decoder name",
         [&](const std::string &v, const char **r) {
             return cfg_decoder_set_name(decoder, decoders, v.c_str(), r);
         }},
        {"file extension",
         [&](const std::string &v, const char **r) {
             return cfg_decoder_add_ext(decoder, decoders, v.c_str(), r);
         }},
    };
    for (const auto &setter : setters) {
        SCOPED_TRACE(setter.what);
        for (const std::string *refused : {&beyond, &replaced_beyond}) {
            const char *reason = nullptr;
            EXPECT_EQ(setter.set(*refused, &reason), -1);
            EXPECT_STREQ(reason, "too long");
        }
        EXPECT_EQ(setter.set(replaced_at_limit, nullptr), 0);
        EXPECT_EQ(setter.set(at_limit, nullptr), 0);
    }
    EXPECT_EQ(cfg_stream_get_stream_description(stream), at_limit);
    EXPECT_EQ(cfg_decoder_get_name(decoder), at_limit);

    const std::string first = write_document();
    TempFile file("", "onyx.xml");
    ReadBack back;
    const std::string messages = capture_log([&] { back = read_back(file, first); });
    EXPECT_EQ(messages, "");
    EXPECT_EQ(back.result, 0);
    EXPECT_TRUE(back.document == first) << "the document reads back as another one";
}

} // namespace
