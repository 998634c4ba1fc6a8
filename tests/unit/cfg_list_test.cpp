#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg_decoder.h"
#include "cfg/cfg_encoder.h"
#include "cfg/cfg_intake.h"
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

} // namespace
