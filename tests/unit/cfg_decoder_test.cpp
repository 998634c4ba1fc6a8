#include <cstddef>
#include <random>
#include <string>
#include <strings.h>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg_decoder.h"
#include "test_support.h"

namespace {

class CfgDecoder : public testing::Test
{
  protected:
    void TearDown() override { cfg_decoder_list_destroy(&list); }

    cfg_decoder *decoder(const char *name) { return cfg_decoder_list_get(list, name); }

  public:
    static std::vector<std::string> exts(cfg_decoder *d)
    {
        std::vector<std::string> out;
        cfg_decoder_foreach_ext(
            d,
            [](const char *ext, void *arg) {
                static_cast<std::vector<std::string> *>(arg)->push_back(ext);
            },
            &out);
        return out;
    }

  protected:
    // Adds at notice verbosity (or the one given) and returns what the log
    // wrote to standard error.
    std::string add_ext(cfg_decoder *d, const char *ext, int verbosity = 1)
    {
        return test_support::capture_log(
            [&] { EXPECT_EQ(cfg_decoder_add_ext(d, list, ext, nullptr), 0); }, verbosity);
    }

    cfg_decoder_list list = cfg_decoder_list_create();
};

TEST_F(CfgDecoder, NewExtensionsAreAppendedSilently)
{
    cfg_decoder *d = decoder("default");
    EXPECT_EQ(exts(d), std::vector<std::string>{});
    EXPECT_EQ(add_ext(d, ".ogg"), "");
    EXPECT_EQ(add_ext(d, ".Flac"), "");
    EXPECT_EQ(exts(d), (std::vector<std::string>{".ogg", ".Flac"}));
    EXPECT_EQ(cfg_decoder_has_ext(d, ".FLAC"), 1);
    EXPECT_EQ(cfg_decoder_has_ext(d, ".mp3"), 0);
    EXPECT_EQ(cfg_decoder_list_find_by_ext(list, ".OGG"), d);
    EXPECT_EQ(cfg_decoder_list_find_by_ext(list, ".mp3"), nullptr);

    for (const char *empty : {"", static_cast<const char *>(nullptr)}) {
        const char *reason = nullptr;
        EXPECT_EQ(cfg_decoder_add_ext(d, list, empty, &reason), -1);
        EXPECT_STREQ(reason, "empty");
    }
    EXPECT_EQ(exts(d), (std::vector<std::string>{".ogg", ".Flac"}));
}

TEST_F(CfgDecoder, ExtensionMovesToTheDecoderThatClaimsIt)
{
    cfg_decoder *a = decoder("alpha");
    cfg_decoder *b = decoder("beta");
    add_ext(a, ".OGG");
    add_ext(a, ".flac");
    add_ext(b, ".mp3");

    EXPECT_EQ(add_ext(b, ".ogg"), ".ogg: relocating match from alpha to beta\n");
    EXPECT_EQ(exts(a), std::vector<std::string>{".flac"});
    // The entry itself moved: it keeps the letter case it was registered in.
    EXPECT_EQ(exts(b), (std::vector<std::string>{".mp3", ".OGG"}));
    EXPECT_EQ(cfg_decoder_list_find_by_ext(list, ".ogg"), b);

    // A notice: shown from verbosity 1 on, not at 0.
    EXPECT_EQ(add_ext(a, ".ogg", 0), "");
    EXPECT_EQ(exts(a), (std::vector<std::string>{".flac", ".OGG"}));
    EXPECT_EQ(exts(b), std::vector<std::string>{".mp3"});
}

TEST_F(CfgDecoder, ReclaimingOwnExtensionMovesItToTheEnd)
{
    cfg_decoder *d = decoder("default");
    add_ext(d, ".ogg");
    add_ext(d, ".mp3");
    EXPECT_EQ(add_ext(d, ".OGG"), ".OGG: relocating match from default to default\n");
    EXPECT_EQ(exts(d), (std::vector<std::string>{".mp3", ".ogg"}));
    EXPECT_EQ(add_ext(d, ".ogg"), ".ogg: relocating match from default to default\n");
    EXPECT_EQ(exts(d), (std::vector<std::string>{".mp3", ".ogg"}));
}

TEST_F(CfgDecoder, ProgramIsAnOwnedText)
{
    cfg_decoder *d = decoder("default");
    EXPECT_EQ(cfg_decoder_get_program(d), nullptr);
    const char *reason = nullptr;
    EXPECT_EQ(cfg_decoder_set_program(d, list, "", &reason), -1);
    EXPECT_STREQ(reason, "empty");
    EXPECT_EQ(cfg_decoder_set_program(d, list, nullptr, &reason), -1);
    EXPECT_EQ(cfg_decoder_get_program(d), nullptr);
    EXPECT_EQ(cfg_decoder_set_program(d, list, "first @T@", nullptr), 0);
    EXPECT_EQ(cfg_decoder_set_program(d, list, "second @T@", nullptr), 0);
    EXPECT_STREQ(cfg_decoder_get_program(d), "second @T@");
}

TEST_F(CfgDecoder, ValidationReportsTheFirstBrokenRule)
{
    struct {
        const char *program;
        bool with_ext;
        const char *reason; // null: valid
    } const cases[] = {
        {nullptr, false, "program not set"},
        {nullptr, true, "program not set"},
        {"dec @s@ @T@ @T@", false, "no file extensions registered"},
        {"dec -o - @T@ @T@ @s@", true, "prohibited placeholder @s@"},
        {"dec @T@@T@", true, "duplicate placeholder @T@"},
        {"dec @T@ @T@ @M@ @M@", true, "duplicate placeholder @T@"},
        {"dec @M@@M@ @a@ @a@ @T@", true, "duplicate placeholder @M@"},
        {"dec @a@ @a@ @t@ @t@ @T@", true, "duplicate placeholder @a@"},
        {"dec @t@ @t@ @T@", true, "duplicate placeholder @t@"},
        {"dec @t@", true, "missing placeholder @T@"},
        {"dec", true, "missing placeholder @T@"},
        {"dec @T@T@", true, nullptr}, // overlapping tokens count once
        {"dec @T@ @M@ @a@ @t@", true, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program != nullptr ? c.program : "no program");
        cfg_decoder *d = cfg_decoder_create("candidate");
        if (c.program != nullptr) {
            ASSERT_EQ(cfg_decoder_set_program(d, list, c.program, nullptr), 0);
        }
        if (c.with_ext) {
            ASSERT_EQ(cfg_decoder_add_ext(d, list, ".ogg", nullptr), 0);
        }
        const char *reason = "untouched";
        EXPECT_EQ(cfg_decoder_validate(d, &reason), c.reason != nullptr ? -1 : 0);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        cfg_decoder_destroy(&d);
    }
}

// The extension registry against a model of the walk it replaces: decoders
// in the order they joined their list, each with its extensions in order; a
// claim takes the first matching extension of the first decoder of the list
// named in the call that holds one. Two lists and a decoder in none let
// extensions move between indexes and out of them; a claim made against no
// list lets two decoders of one list hold the same extension. Enough
// extensions pile up for the lists to be indexed.
TEST(CfgDecoderRegistry, FindsWhatAWalkOverTheDecodersFinds)
{
    struct model_decoder {
        cfg_decoder *decoder;
        int list; // 0 or 1, or -1 for none
        std::vector<std::string> exts;
    };
    cfg_decoder_list lists[2] = {cfg_decoder_list_create(), cfg_decoder_list_create()};
    std::vector<model_decoder> model;
    cfg_decoder *loose = cfg_decoder_create("loose");
    model.push_back({loose, -1, {}});

    std::vector<std::string> pool;
    for (int i = 0; i < 20; i++) {
        pool.push_back(".e" + std::to_string(i));
        pool.push_back(".E" + std::to_string(i));
    }
    for (const char *ext : {".caf\xC9", ".caf\xE9", ".CAF\xE9", ".longer-extension"})
        pool.push_back(ext);

    // The first decoder of `list`, in the model, holding `ext`, and where.
    auto holder = [&](int list, const std::string &ext) -> std::pair<model_decoder *, std::size_t> {
        for (model_decoder &m : model) {
            if (m.list != list)
                continue;
            for (std::size_t i = 0; i < m.exts.size(); i++) {
                if (strcasecmp(m.exts[i].c_str(), ext.c_str()) == 0)
                    return {&m, i};
            }
        }
        return {nullptr, 0};
    };

    std::mt19937 rng(14);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    int named = 0;
    for (int step = 0; step < 3000; step++) {
        const std::size_t op = pick(10);
        if (op < 2 || model.size() < 3) {
            const int list = static_cast<int>(pick(2));
            const std::string name = "decoder-" + std::to_string(named++);
            model.push_back({cfg_decoder_list_get(lists[list], name.c_str()), list, {}});
        } else if (op < 8) {
            model_decoder &to = model[pick(model.size())];
            const std::string &ext = pool[pick(pool.size())];
            const int against = static_cast<int>(pick(5)) - 2; // more often a list than none
            cfg_decoder_list list = against >= 0 ? lists[against % 2] : nullptr;
            std::string moved = ext;
            if (list != nullptr) {
                if (auto [from, at] = holder(against % 2, ext); from != nullptr) {
                    moved = from->exts[at];
                    from->exts.erase(from->exts.begin() + static_cast<std::ptrdiff_t>(at));
                }
            }
            to.exts.push_back(moved);
            test_support::capture_log(
                [&] { ASSERT_EQ(cfg_decoder_add_ext(to.decoder, list, ext.c_str(), nullptr), 0); });
        } else {
            const std::size_t at = pick(model.size());
            if (model[at].list < 0)
                continue;
            cfg_decoder_list_remove(lists[model[at].list], &model[at].decoder);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }

        for (const model_decoder &m : model)
            ASSERT_EQ(CfgDecoder::exts(m.decoder), m.exts) << "step " << step;
        for (int l = 0; l < 2; l++) {
            for (const std::string &ext : pool) {
                const model_decoder *expected = holder(l, ext).first;
                ASSERT_EQ(cfg_decoder_list_find_by_ext(lists[l], ext.c_str()),
                          expected != nullptr ? expected->decoder : nullptr)
                    << "step " << step << ", list " << l << ", " << ext;
            }
        }
    }
    cfg_decoder_destroy(&loose);
    cfg_decoder_list_destroy(&lists[0]);
    cfg_decoder_list_destroy(&lists[1]);
}

} // namespace
