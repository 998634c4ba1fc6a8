#include <gtest/gtest.h>

#include <malloc.h>
#include <string>

#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg_value_test";

// A bounded text of the tests' own; it frees whatever a test leaves in it
// (the sanitizer build sees a leak otherwise).
template <std::size_t Max> struct held_text {
    cfg_value::bounded_text<Max> text{};
    int set(const char *value, const char **errstrp = nullptr)
    {
        return text.set(value, errstrp, kAllocModule);
    }
    std::string get() const { return text.get() != nullptr ? text.get() : "(null)"; }
};

TEST(BoundedText, KeepsMaxCharactersAndTheCutCopyOfALongerOne)
{
    struct {
        const char *value;
        int status;
        const char *reason;
        const char *kept;
    } const cases[] = {
        {"a", 0, "untouched", "a"},
        {"abc", 0, "untouched", "abc"},
        {"abcd", -1, "too long", "abc"},
        {"abcdefghij", -1, "too long", "abc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        held_text<3> t;
        ASSERT_EQ(t.set("zz"), 0);
        const char *reason = "untouched";
        EXPECT_EQ(t.set(c.value, &reason), c.status);
        EXPECT_STREQ(reason, c.reason);
        EXPECT_EQ(t.get(), c.kept);
    }
}

TEST(BoundedText, UnsetUntilSetAndAnEmptyValueChangesNothing)
{
    held_text<7> t;
    EXPECT_EQ(t.text.get(), nullptr);
    EXPECT_FALSE(t.text.is_set());

    for (const char *empty : {"", static_cast<const char *>(nullptr)}) {
        const char *reason = nullptr;
        EXPECT_EQ(t.set(empty, &reason), -1);
        EXPECT_STREQ(reason, "empty");
        EXPECT_EQ(t.text.get(), nullptr);
    }

    ASSERT_EQ(t.set("kept"), 0);
    EXPECT_EQ(t.set("", nullptr), -1);
    EXPECT_EQ(t.get(), "kept");

    t.text.clear();
    EXPECT_EQ(t.text.get(), nullptr);
}

TEST(BoundedText, TakesAValueReadBackFromItself)
{
    held_text<7> t;
    ASSERT_EQ(t.set("1234567"), 0);
    EXPECT_EQ(t.set(t.text.get()), 0);
    EXPECT_EQ(t.get(), "1234567");
    EXPECT_EQ(t.set(t.text.get() + 3), 0);
    EXPECT_EQ(t.get(), "4567");
}

// The point of the type: a short value in a text of a large bound costs a
// block of its own size, not the bound.
TEST(BoundedText, HoldsABlockSizedToTheValue)
{
    held_text<2047> t;
    ASSERT_EQ(t.set("example.org"), 0);
    EXPECT_LT(malloc_usable_size(const_cast<char *>(t.text.get())), 64u);

    const std::string longest(2047, 'x');
    ASSERT_EQ(t.set(longest.c_str()), 0);
    EXPECT_EQ(t.get(), longest);
    ASSERT_EQ(t.set((longest + "y").c_str()), -1);
    EXPECT_EQ(t.get(), longest);
}

} // namespace
