#include <cstddef>
#include <random>
#include <string>
#include <strings.h>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg_decoder.h"
#include "cfg/cfg_encoder.h"
#include "cfg/cfg_intake.h"
#include "cfg/cfg_list.h"
#include "cfg/cfg_server.h"
#include "cfg/cfg_stream.h"

namespace {

// Every module offers the same list operations under its own names; the
// tests run against each of them.
#define LIST_TRAITS(x)                                                                             \
    struct x##_traits {                                                                            \
        using list_t = cfg_##x##_list;                                                             \
        using entry_t = cfg_##x;                                                                   \
        static list_t create() { return cfg_##x##_list_create(); }                                 \
        static void destroy(list_t *listp) { cfg_##x##_list_destroy(listp); }                      \
        static unsigned int count(list_t list) { return cfg_##x##_list_count(list); }              \
        static entry_t *find(list_t list, const char *name)                                        \
        {                                                                                          \
            return cfg_##x##_list_find(list, name);                                                \
        }                                                                                          \
        static entry_t *get(list_t list, const char *name)                                         \
        {                                                                                          \
            return cfg_##x##_list_get(list, name);                                                 \
        }                                                                                          \
        static entry_t *create_entry(const char *name) { return cfg_##x##_create(name); }          \
        static void destroy_entry(entry_t **entryp) { cfg_##x##_destroy(entryp); }                 \
        static int set_name(entry_t *entry, list_t list, const char *name, const char **errstrp)   \
        {                                                                                          \
            return cfg_##x##_set_name(entry, list, name, errstrp);                                 \
        }                                                                                          \
        static const char *name(entry_t *entry) { return cfg_##x##_get_name(entry); }              \
        static std::vector<std::string> names(list_t list)                                         \
        {                                                                                          \
            std::vector<std::string> out;                                                          \
            cfg_##x##_list_foreach(                                                                \
                list,                                                                              \
                [](entry_t *entry, void *arg) {                                                    \
                    static_cast<std::vector<std::string> *>(arg)->push_back(                       \
                        cfg_##x##_get_name(entry));                                                \
                },                                                                                 \
                &out);                                                                             \
            return out;                                                                            \
        }                                                                                          \
        static std::vector<entry_t *> entries(list_t list)                                         \
        {                                                                                          \
            std::vector<entry_t *> out;                                                            \
            cfg_##x##_list_foreach(                                                                \
                list,                                                                              \
                [](entry_t *entry, void *arg) {                                                    \
                    static_cast<std::vector<entry_t *> *>(arg)->push_back(entry);                  \
                },                                                                                 \
                &out);                                                                             \
            return out;                                                                            \
        }                                                                                          \
    }

LIST_TRAITS(server);
LIST_TRAITS(stream);
LIST_TRAITS(intake);
LIST_TRAITS(decoder);
LIST_TRAITS(encoder);

template <typename T> class CfgNamedList : public testing::Test
{
  protected:
    using list_t = typename T::list_t;
    using entry_t = typename T::entry_t;

    void TearDown() override { T::destroy(&list); }

    list_t list = T::create();
};

using AllKinds =
    testing::Types<server_traits, stream_traits, intake_traits, decoder_traits, encoder_traits>;
TYPED_TEST_SUITE(CfgNamedList, AllKinds);

TYPED_TEST(CfgNamedList, GetFindsCaseInsensitivelyAndKeepsTheFirstSpelling)
{
    using T = TypeParam;
    auto *main = T::get(this->list, "Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(T::get(this->list, "MAIN"), main);
    EXPECT_EQ(T::find(this->list, "main"), main);
    EXPECT_STREQ(T::name(main), "Main");
    EXPECT_EQ(T::count(this->list), 1u);

    auto *other = T::get(this->list, "other");
    EXPECT_NE(other, main);
    EXPECT_EQ(T::get(this->list, "Other"), other);
    EXPECT_EQ(T::count(this->list), 2u);
    EXPECT_EQ(T::find(this->list, "missing"), nullptr);
    // Nothing is trimmed: a blank makes another name.
    EXPECT_EQ(T::find(this->list, "main "), nullptr);
}

TYPED_TEST(CfgNamedList, NullOrEmptyNamesCreateNothing)
{
    using T = TypeParam;
    EXPECT_EQ(T::count(this->list), 0u);
    EXPECT_EQ(T::get(this->list, ""), nullptr);
    EXPECT_EQ(T::get(this->list, nullptr), nullptr);
    EXPECT_EQ(T::count(this->list), 0u);
    EXPECT_TRUE(T::names(this->list).empty());
    EXPECT_EQ(T::create_entry(""), nullptr);
    EXPECT_EQ(T::create_entry(nullptr), nullptr);
    T::get(this->list, "x");
    EXPECT_EQ(T::find(this->list, ""), nullptr);
}

TYPED_TEST(CfgNamedList, ForeachKeepsCreationOrderAcrossRenames)
{
    using T = TypeParam;
    auto *a = T::get(this->list, "a");
    auto *b = T::get(this->list, "b");
    T::get(this->list, "c");
    ASSERT_EQ(T::set_name(b, this->list, "zeta", nullptr), 0);
    ASSERT_EQ(T::set_name(a, this->list, "Alpha", nullptr), 0);
    EXPECT_EQ(T::names(this->list), (std::vector<std::string>{"Alpha", "zeta", "c"}));
    EXPECT_EQ(T::find(this->list, "b"), nullptr);
    EXPECT_EQ(T::find(this->list, "ZETA"), b);
}

TYPED_TEST(CfgNamedList, RenameRules)
{
    using T = TypeParam;
    auto *first = T::get(this->list, "first");
    auto *second = T::get(this->list, "second");

    struct {
        const char *name;
        const char *reason;
    } const refusals[] = {{"FIRST", "already exists"},
                          {"first", "already exists"},
                          {"", "empty"},
                          {nullptr, "empty"}};
    for (const auto &r : refusals) {
        SCOPED_TRACE(r.name != nullptr ? r.name : "null");
        const char *reason = nullptr;
        EXPECT_EQ(T::set_name(second, this->list, r.name, &reason), -1);
        EXPECT_STREQ(reason, r.reason);
        EXPECT_EQ(T::set_name(second, this->list, r.name, nullptr), -1);
    }
    EXPECT_STREQ(T::name(first), "first");
    EXPECT_STREQ(T::name(second), "second");

    // Its own name in another case is no clash; a success leaves errstrp alone.
    const char *reason = "untouched";
    EXPECT_EQ(T::set_name(second, this->list, "SECOND", &reason), 0);
    EXPECT_STREQ(reason, "untouched");
    EXPECT_STREQ(T::name(second), "SECOND");
    // The entry's own stored name as the new value.
    EXPECT_EQ(T::set_name(second, this->list, T::name(second), nullptr), 0);
    EXPECT_STREQ(T::name(second), "SECOND");
    // A tail of its own name, long or short, as the new value: short
    // names live in the entry's block, longer ones in a block of their own.
    const std::string longer = "a-name-of-forty-bytes-and-more-0123456789";
    ASSERT_EQ(T::set_name(second, this->list, longer.c_str(), nullptr), 0);
    EXPECT_EQ(T::set_name(second, this->list, T::name(second) + 1, nullptr), 0);
    EXPECT_EQ(T::name(second), longer.substr(1));
    EXPECT_EQ(T::set_name(second, this->list, T::name(second) + 20, nullptr), 0);
    EXPECT_EQ(T::name(second), longer.substr(21));
    EXPECT_EQ(T::set_name(second, this->list, T::name(second) + 2, nullptr), 0);
    EXPECT_EQ(T::name(second), longer.substr(23));
    EXPECT_EQ(T::find(this->list, longer.substr(23).c_str()), second);
    EXPECT_EQ(T::count(this->list), 2u);
}

TYPED_TEST(CfgNamedList, DestroyAcceptsNullAndClearsTheHandle)
{
    using T = TypeParam;
    typename T::list_t none = nullptr;
    T::destroy(&none);
    EXPECT_EQ(none, nullptr);

    T::get(this->list, "a");
    T::get(this->list, "b");
    T::destroy(&this->list);
    EXPECT_EQ(this->list, nullptr);
}

TYPED_TEST(CfgNamedList, EntriesCanLiveOutsideAList)
{
    using T = TypeParam;
    auto *entry = T::create_entry("Loose");
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(T::name(entry), "Loose");
    EXPECT_EQ(T::count(this->list), 0u);
    T::destroy_entry(&entry);
    EXPECT_EQ(entry, nullptr);
    T::destroy_entry(&entry);
}

// Only decoders and encoders can lose single entries.
template <typename T> class CfgRemovableList : public testing::Test
{
  protected:
    void TearDown() override { T::destroy(&list); }
    typename T::list_t list = T::create();
};

struct decoder_removal : decoder_traits {
    static void remove(list_t list, entry_t **entryp) { cfg_decoder_list_remove(list, entryp); }
};
struct encoder_removal : encoder_traits {
    static void remove(list_t list, entry_t **entryp) { cfg_encoder_list_remove(list, entryp); }
};

using RemovableKinds = testing::Types<decoder_removal, encoder_removal>;
TYPED_TEST_SUITE(CfgRemovableList, RemovableKinds);

TYPED_TEST(CfgRemovableList, RemoveKeepsTheListAppendable)
{
    using T = TypeParam;
    auto *a = T::get(this->list, "a");
    T::get(this->list, "b");
    auto *c = T::get(this->list, "c");
    auto *d = T::get(this->list, "d");

    T::remove(this->list, &d); // the last one: appending must still work
    EXPECT_EQ(d, nullptr);
    T::get(this->list, "e");
    T::remove(this->list, &a); // the first one
    T::remove(this->list, &c); // one in the middle
    EXPECT_EQ(T::names(this->list), (std::vector<std::string>{"b", "e"}));
    EXPECT_EQ(T::count(this->list), 2u);

    auto *b = T::find(this->list, "b");
    auto *e = T::find(this->list, "e");
    T::remove(this->list, &e);
    T::remove(this->list, &b);
    EXPECT_EQ(T::count(this->list), 0u);
    T::get(this->list, "f");
    EXPECT_EQ(T::names(this->list), (std::vector<std::string>{"f"}));
}

// Lookups in a list long enough to be indexed must find what a walk from the
// start finds, as the list changes in every way it can. Names come from a
// small pool, so they collide in letter case; bytes above 127 whose Latin-1
// case partners are no partners in the C locale must stay apart. A rename
// checked against no list can give two entries one name: the earlier entry
// is the one found.
template <typename T> class CfgNamedListIndex : public testing::Test
{
  protected:
    void TearDown() override { T::destroy(&list); }
    typename T::list_t list = T::create();
};

template <typename T>
concept removable = requires(typename T::list_t list, typename T::entry_t **entryp) {
    T::remove(list, entryp);
};

using IndexKinds =
    testing::Types<server_traits, stream_traits, intake_traits, decoder_removal, encoder_removal>;
TYPED_TEST_SUITE(CfgNamedListIndex, IndexKinds);

TYPED_TEST(CfgNamedListIndex, LookupsAgreeWithAWalkFromTheStart)
{
    using T = TypeParam;
    using entry_t = typename T::entry_t;
    std::vector<std::string> pool;
    for (int i = 0; i < 24; i++) {
        pool.push_back("entry-" + std::to_string(i));
        pool.push_back("Entry-" + std::to_string(i));
    }
    for (const char *name : {"caf\xC9", "caf\xE9", "CAF\xE9", "\xC0", "\xE0", "long-name-of-17",
                             "a-name-too-long-for-the-entry", "A-NAME-too-long-for-the-entry"})
        pool.push_back(name);

    std::mt19937 rng(14);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (int step = 0; step < 4000; step++) {
        std::vector<entry_t *> entries = T::entries(this->list);
        const char *name = pool[pick(pool.size())].c_str();
        const std::size_t op = pick(10);
        if (op < 4 || entries.empty()) {
            T::get(this->list, name);
        } else if (op < 7) {
            T::set_name(entries[pick(entries.size())], this->list, name, nullptr);
        } else if (op < 8) {
            T::set_name(entries[pick(entries.size())], nullptr, name, nullptr);
        } else if constexpr (removable<T>) {
            entry_t *victim = entries[pick(entries.size())];
            T::remove(this->list, &victim);
        }

        entries = T::entries(this->list);
        ASSERT_EQ(T::count(this->list), entries.size()) << "step " << step;
        for (const std::string &wanted : pool) {
            entry_t *walked = nullptr;
            for (entry_t *entry : entries) {
                if (strcasecmp(T::name(entry), wanted.c_str()) == 0) {
                    walked = entry;
                    break;
                }
            }
            ASSERT_EQ(T::find(this->list, wanted.c_str()), walked)
                << "step " << step << ", name " << wanted;
        }
    }
}

TYPED_TEST(CfgNamedListIndex, LongListsKeepOrderAndFollowRenames)
{
    using T = TypeParam;
    std::vector<typename T::entry_t *> made;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; i++) {
        const std::string name = "Stream-" + std::to_string(i);
        made.push_back(T::get(this->list, name.c_str()));
        expected.push_back(name);
    }
    EXPECT_EQ(T::count(this->list), 40u);
    EXPECT_EQ(T::get(this->list, "STREAM-39"), made[39]);
    EXPECT_EQ(T::count(this->list), 40u);

    const char *reason = nullptr;
    EXPECT_EQ(T::set_name(made[7], this->list, "stream-30", &reason), -1);
    EXPECT_STREQ(reason, "already exists");
    ASSERT_EQ(T::set_name(made[7], this->list, "Renamed", nullptr), 0);
    expected[7] = "Renamed";
    EXPECT_EQ(T::find(this->list, "stream-7"), nullptr);
    EXPECT_EQ(T::find(this->list, "RENAMED"), made[7]);
    EXPECT_EQ(T::names(this->list), expected);

    // Two entries of one name: the earlier one answers, and once it has
    // another name again, the later one.
    ASSERT_EQ(T::set_name(made[25], nullptr, "stream-3", nullptr), 0);
    EXPECT_EQ(T::find(this->list, "STREAM-3"), made[3]);
    ASSERT_EQ(T::set_name(made[3], this->list, "three", nullptr), 0);
    EXPECT_EQ(T::find(this->list, "STREAM-3"), made[25]);
    EXPECT_EQ(T::find(this->list, "stream-25"), nullptr);
}

TEST(CfgListFold, FoldsEveryPairOfBytesAsStrcasecmp)
{
    // The tests, like the programs, run in the C locale for LC_CTYPE.
    for (int a = 1; a < 256; a++) {
        for (int b = 1; b < 256; b++) {
            const char text_a[] = {static_cast<char>(a), '\0'};
            const char text_b[] = {static_cast<char>(b), '\0'};
            const bool equal = strcasecmp(text_a, text_b) == 0;
            ASSERT_EQ(cfg_list::fold(static_cast<unsigned char>(a)) ==
                          cfg_list::fold(static_cast<unsigned char>(b)),
                      equal)
                << "bytes " << a << " and " << b;
            if (equal) {
                ASSERT_EQ(cfg_list::fold_hash(text_a), cfg_list::fold_hash(text_b));
            }
        }
    }
}

TEST(CfgListFold, TextsEqualButForCaseHashAlike)
{
    // Lengths on both sides of the hash's eight-byte words.
    std::mt19937 rng(14);
    for (std::size_t length = 0; length < 40; length++) {
        std::string text;
        for (std::size_t i = 0; i < length; i++)
            text.push_back(static_cast<char>(1 + rng() % 255));
        std::string flipped = text;
        for (char &c : flipped) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        ASSERT_EQ(strcasecmp(text.c_str(), flipped.c_str()), 0);
        EXPECT_EQ(cfg_list::fold_hash(text.c_str()), cfg_list::fold_hash(flipped.c_str()))
            << "length " << length;
    }
}

} // namespace
