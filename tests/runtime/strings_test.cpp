// Runtime strings: the temporary pool, release rules, assignment,
// comparison and number formatting.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

std::string text_of(const RuntimeString* s) {
    return s->data ? std::string(s->data, static_cast<size_t>(rt_str_len(s))) : std::string();
}

RuntimeString* temp(const std::string& s) {
    return rt_str_temp(s.data(), static_cast<int32_t>(s.size()));
}

TEST(RuntimeStrings, TemporaryHoldsAZeroTerminatedCopy) {
    const int32_t before = rt_str_temps_in_use();
    char source[] = "Schatten";
    RuntimeString* s = rt_str_temp(source, 8);
    source[0] = 'X';  // a copy, not a view
    EXPECT_EQ(text_of(s), "Schatten");
    EXPECT_EQ(s->data[8], '\0');
    EXPECT_NE(s->length & RT_STR_TEMP, 0u);
    EXPECT_EQ(rt_str_len(s), 8);
    EXPECT_GE(s->capacity, 9);
    EXPECT_EQ(rt_str_temps_in_use(), before + 1);
    rt_str_release_temp(s);
    EXPECT_EQ(rt_str_temps_in_use(), before);
}

TEST(RuntimeStrings, EmptyTemporaryHasNoData) {
    for (RuntimeString* s : {rt_str_temp("abc", 0), rt_str_temp(nullptr, 5), rt_str_temp_cstr(""),
                             rt_str_temp_cstr(nullptr)}) {
        EXPECT_EQ(s->data, nullptr);
        EXPECT_EQ(rt_str_len(s), 0);
        rt_str_release_temp(s);
    }
    EXPECT_EQ(rt_str_len(nullptr), 0);
}

TEST(RuntimeStrings, ExhaustedPoolGivesTheSharedEmptyString) {
    const int32_t before = rt_str_temps_in_use();
    std::vector<RuntimeString*> held;
    for (int32_t i = before; i < 256; ++i) {
        // Appended, not "t" + ...: GCC 12 at -O3 falsely reports -Wrestrict
        // for a literal plus a temporary string.
        std::string text = "t";
        text += std::to_string(i);
        RuntimeString* s = temp(text);
        ASSERT_NE(s->data, nullptr) << "descriptor " << i;
        held.push_back(s);
    }
    EXPECT_EQ(rt_str_temps_in_use(), 256);

    RuntimeString* extra = temp("one too many");
    RuntimeString* another = rt_str_from_int(42);
    EXPECT_EQ(extra->data, nullptr);
    EXPECT_EQ(rt_str_len(extra), 0);
    EXPECT_EQ(another, extra);  // the one shared empty string
    rt_str_release_temp(extra);  // harmless, and frees no descriptor
    rt_str_release_temp(extra);
    EXPECT_EQ(rt_str_temps_in_use(), 256);
    EXPECT_EQ(extra->data, nullptr);

    rt_str_release_temp(held.back());
    held.pop_back();
    RuntimeString* again = temp("fits again");
    EXPECT_EQ(text_of(again), "fits again");
    held.push_back(again);

    for (RuntimeString* s : held) rt_str_release_temp(s);
    EXPECT_EQ(rt_str_temps_in_use(), before);
}

TEST(RuntimeStrings, ReleaseOnlyFreesTemporaryPoolStrings) {
    const int32_t before = rt_str_temps_in_use();

    // A caller-owned string is never touched.
    RuntimeString owned = {};
    ASSERT_EQ(rt_str_assign(&owned, "keep", 4), 0);
    rt_str_release_temp(&owned);
    EXPECT_EQ(text_of(&owned), "keep");

    // A descriptor outside the pool that claims to be temporary is left
    // alone as well (its data belongs to someone else).
    char bytes[] = "fake";
    RuntimeString forged = {bytes, 4u | RT_STR_TEMP, 5};
    rt_str_release_temp(&forged);
    EXPECT_EQ(forged.data, bytes);

    // Releasing twice frees once (the sanitizer build would catch a second
    // free) and does not put the descriptor back twice.
    RuntimeString* t = temp("twice");
    rt_str_release_temp(t);
    rt_str_release_temp(t);
    EXPECT_EQ(rt_str_temps_in_use(), before);
    RuntimeString* a = temp("a");
    RuntimeString* b = temp("b");
    EXPECT_NE(a, b);
    rt_str_release_temp(a);
    rt_str_release_temp(b);

    rt_str_release_temp(nullptr);
    rt_str_free(&owned);
    EXPECT_EQ(rt_str_temps_in_use(), before);
}

TEST(RuntimeStrings, AssignCopiesAndReusesStorage) {
    RuntimeString s = {};
    ASSERT_EQ(rt_str_assign(&s, "Lampe", 5), 0);
    EXPECT_EQ(text_of(&s), "Lampe");
    EXPECT_EQ(s.length & RT_STR_TEMP, 0u);
    EXPECT_EQ(s.data[5], '\0');

    ASSERT_EQ(rt_str_assign(&s, "Wand", 4), 0);
    EXPECT_EQ(text_of(&s), "Wand");
    EXPECT_EQ(s.data[4], '\0');

    const std::string longer(300, 'h');
    ASSERT_EQ(rt_str_assign(&s, longer.data(), 300), 0);
    EXPECT_EQ(text_of(&s), longer);
    EXPECT_GE(s.capacity, 301);

    // The source may be the string's own bytes.
    ASSERT_EQ(rt_str_assign(&s, s.data + 290, 10), 0);
    EXPECT_EQ(text_of(&s), std::string(10, 'h'));

    ASSERT_EQ(rt_str_assign(&s, "x", 0), 0);
    EXPECT_EQ(s.data, nullptr);
    EXPECT_EQ(rt_str_len(&s), 0);
    rt_str_free(&s);
    rt_str_free(&s);
    EXPECT_EQ(s.data, nullptr);
}

TEST(RuntimeStrings, CompareIsBytewiseAndUnsigned) {
    struct Case {
        std::string a, b;
        int expect;
    };
    const Case cases[] = {
        {"", "", 0},
        {"a", "", 1},
        {"", "a", -1},
        {"abc", "abc", 0},
        {"abc", "abd", -1},
        {"abd", "abc", 1},
        {"ab", "abc", -1},
        {"abc", "ab", 1},
        {"b", "abc", 1},
        {"\x80", "\x7f", 1},  // bytes compare unsigned
        {"\xff", "a", 1},
        {std::string("a\0b", 3), std::string("a\0c", 3), -1},
        {std::string("a\0", 2), "a", 1},
        {"\xff" "k", "\xff" "k", 0},
    };
    const int32_t before = rt_str_temps_in_use();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " vs " + c.b);
        const int32_t r = rt_str_compare(temp(c.a), temp(c.b));
        EXPECT_EQ((r > 0) - (r < 0), c.expect);
        EXPECT_EQ(rt_str_temps_in_use(), before);  // both temporaries released
    }
}

TEST(RuntimeStrings, CompareKeepsCallerOwnedStrings) {
    RuntimeString owned = {};
    ASSERT_EQ(rt_str_assign(&owned, "e", 1), 0);
    const int32_t before = rt_str_temps_in_use();
    EXPECT_EQ(rt_str_compare(&owned, temp("e")), 0);
    EXPECT_EQ(rt_str_compare(temp("f"), &owned), 1);
    EXPECT_EQ(rt_str_compare(&owned, &owned), 0);
    EXPECT_EQ(rt_str_compare(nullptr, &owned), -1);
    EXPECT_EQ(text_of(&owned), "e");
    EXPECT_EQ(rt_str_temps_in_use(), before);
    RuntimeString* t = temp("same");
    EXPECT_EQ(rt_str_compare(t, t), 0);  // one release for both arguments
    EXPECT_EQ(rt_str_temps_in_use(), before);
    rt_str_free(&owned);
}

TEST(RuntimeStrings, FromIntIsPlainDecimal) {
    const struct {
        int64_t v;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {-12, "-12"},
        {345, "345"},
        {10, "10"},
        {-1, "-1"},
        {1000000, "1000000"},
        {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    const int32_t before = rt_str_temps_in_use();
    for (const auto& c : cases) {
        RuntimeString* s = rt_str_from_int(c.v);
        EXPECT_EQ(text_of(s), c.text);
        EXPECT_NE(s->length & RT_STR_TEMP, 0u);
        rt_str_release_temp(s);
    }
    EXPECT_EQ(rt_str_temps_in_use(), before);
}

}  // namespace
