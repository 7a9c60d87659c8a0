// The host's text value: construction, release, clear, assignment and formatting on the
// process heap, including a heap that gives nothing.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <string>

#include "host/host_text.h"
#include "host/process_heap.h"
#include "host/text_builder.h"

namespace {

// Counts heap blocks taken and freed during a test and checks that they balance.
class HostTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kmi::heap_fail_next(0);
        allocations_at_start_ = kmi::heap_allocation_count();
        frees_at_start_ = kmi::heap_free_count();
    }
    void TearDown() override {
        kmi::heap_fail_next(0);
        EXPECT_EQ(allocations(), frees()) << "heap blocks leaked or freed twice";
    }
    std::int64_t allocations() const { return kmi::heap_allocation_count() - allocations_at_start_; }
    std::int64_t frees() const { return kmi::heap_free_count() - frees_at_start_; }

  private:
    std::int64_t allocations_at_start_ = 0;
    std::int64_t frees_at_start_ = 0;
};

HostText text_holding(const char* chars) {
    HostText t = kmi::make_text();
    kmi::assign(t, chars, static_cast<std::int64_t>(std::char_traits<char>::length(chars)));
    return t;
}

TEST_F(HostTextTest, ANewTextIsTheModulesEmptyText) {
    HostText t = kmi::make_text();
    ASSERT_NE(t.empty_text, nullptr);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_STREQ(t.data, "");
    EXPECT_EQ(t.owns_buffer, 0);
    EXPECT_EQ(t.changed, 0);
    // Every text shares the module's one empty text.
    EXPECT_EQ(kmi::make_text().empty_text, t.empty_text);
    EXPECT_EQ(allocations(), 0);
}

TEST_F(HostTextTest, ReleaseFreesAnOwnedBlockAndLeavesNull) {
    HostText t = text_holding("abc");
    EXPECT_EQ(allocations(), 1);
    kmi::release(t);
    EXPECT_EQ(t.data, nullptr);
    EXPECT_EQ(t.owns_buffer, 0);
    EXPECT_EQ(t.changed, 0);
    EXPECT_EQ(frees(), 1);
    EXPECT_EQ(kmi::text_length(t), 0);
    EXPECT_STREQ(kmi::text_chars(t), "");
    kmi::release(t);  // a second release does nothing
    EXPECT_EQ(frees(), 1);

    // A text that owns nothing is left as it is, even its changed flag.
    HostText empty = kmi::make_text();
    empty.changed = 1;
    kmi::release(empty);
    EXPECT_EQ(empty.data, empty.empty_text);
    EXPECT_EQ(empty.changed, 1);
    char borrowed[] = "borrowed";
    HostText not_owned = kmi::make_text();
    not_owned.data = borrowed;
    kmi::release(not_owned);
    EXPECT_EQ(not_owned.data, borrowed);
    EXPECT_EQ(frees(), 1);
}

TEST_F(HostTextTest, ClearFreesAnOwnedBlockAndLeavesTheEmptyText) {
    HostText t = text_holding("abc");
    kmi::clear(t);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.owns_buffer, 0);
    EXPECT_EQ(t.changed, 0);
    EXPECT_EQ(frees(), 1);

    HostText released = text_holding("xyz");
    kmi::release(released);
    kmi::clear(released);
    EXPECT_EQ(released.data, released.empty_text);

    // A borrowed block is never freed.
    char borrowed[] = "borrowed";
    HostText not_owned = kmi::make_text();
    not_owned.data = borrowed;
    kmi::clear(not_owned);
    EXPECT_EQ(not_owned.data, not_owned.empty_text);
    EXPECT_EQ(frees(), 2);
}

TEST_F(HostTextTest, AssignCopiesAtMostLengthCharactersAndStopsAtANul) {
    HostText t = kmi::make_text();
    kmi::assign(t, "abc", 2);
    EXPECT_STREQ(t.data, "ab");
    EXPECT_EQ(t.owns_buffer, 1);
    EXPECT_EQ(t.changed, 1);

    kmi::assign(t, "abc", 3);
    EXPECT_STREQ(t.data, "abc");
    const char with_nul[] = {'a', '\0', 'b', 'c'};
    kmi::assign(t, with_nul, 4);
    EXPECT_STREQ(t.data, "a");
    kmi::assign(t, "abc", std::numeric_limits<std::int64_t>::max() / 4);  // beyond the longest text
    EXPECT_STREQ(t.data, "abc");
    EXPECT_EQ(allocations(), 4);
    EXPECT_EQ(frees(), 3);  // every assignment frees the block held before
    kmi::release(t);

    // The copy is the text's own: changing the source afterwards changes nothing.
    char source[] = "hello";
    HostText copy = kmi::make_text();
    kmi::assign(copy, source, 5);
    source[0] = 'j';
    EXPECT_STREQ(copy.data, "hello");
    kmi::release(copy);
}

TEST_F(HostTextTest, AssignOfNothingLeavesTheTextEmptyButChanged) {
    HostText t = text_holding("abc");
    kmi::assign(t, nullptr, 3);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.owns_buffer, 0);
    EXPECT_EQ(t.changed, 1);

    t = text_holding("abc");
    kmi::assign(t, "abc", 0);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.changed, 1);

    for (const std::int64_t negative : {std::int64_t{-1}, std::int64_t{-3}, std::numeric_limits<std::int64_t>::min()}) {
        t = text_holding("abc");
        kmi::assign(t, "abc", negative);
        EXPECT_EQ(t.data, t.empty_text) << negative;
        EXPECT_EQ(t.owns_buffer, 0) << negative;
        EXPECT_EQ(t.changed, 1) << negative;
    }
    EXPECT_EQ(allocations(), 5);  // only the five "abc" blocks
    EXPECT_EQ(frees(), 5);
}

TEST_F(HostTextTest, AssignWithoutHeapLeavesTheTextEmpty) {
    HostText t = text_holding("old");
    kmi::heap_fail_next(1);
    kmi::assign(t, "new", 3);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.owns_buffer, 0);
    EXPECT_EQ(t.changed, 1);
    EXPECT_EQ(frees(), 1);  // the old block was freed

    kmi::heap_fail_next(1);
    kmi::assign(t, "abc", std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.changed, 1);
    kmi::release(t);
}

TEST_F(HostTextTest, AssignTextCopiesAnotherText) {
    HostText source = text_holding("quote");
    HostText target = text_holding("old");
    kmi::assign_text(target, source);
    EXPECT_STREQ(target.data, "quote");
    EXPECT_NE(target.data, source.data);
    EXPECT_EQ(target.owns_buffer, 1);
    EXPECT_EQ(target.changed, 1);

    // An empty other empties the target, and that counts as a change.
    HostText empty = kmi::make_text();
    kmi::assign_text(target, empty);
    EXPECT_EQ(target.data, target.empty_text);
    EXPECT_EQ(target.owns_buffer, 0);
    EXPECT_EQ(target.changed, 1);

    // A released (null) other counts as empty.
    HostText gone = text_holding("gone");
    kmi::release(gone);
    HostText filled = text_holding("full");
    filled.changed = 0;
    kmi::assign_text(filled, gone);
    EXPECT_EQ(filled.data, filled.empty_text);
    EXPECT_EQ(filled.changed, 1);

    // A released target takes a copy.
    kmi::assign_text(gone, source);
    EXPECT_STREQ(gone.data, "quote");
    kmi::release(gone);
    kmi::release(source);
}

TEST_F(HostTextTest, AssignTextBetweenEmptyTextsOrToItselfChangesNothing) {
    HostText a = kmi::make_text();
    HostText b = kmi::make_text();
    kmi::assign_text(a, b);
    EXPECT_EQ(a.changed, 0);
    EXPECT_EQ(a.data, a.empty_text);
    a.changed = 1;
    kmi::assign_text(a, b);
    EXPECT_EQ(a.changed, 1);

    HostText released = text_holding("x");
    kmi::release(released);
    kmi::assign_text(released, b);
    EXPECT_EQ(released.data, nullptr);
    EXPECT_EQ(released.changed, 0);

    HostText self = text_holding("self");
    self.changed = 0;
    char* before = self.data;
    kmi::assign_text(self, self);
    EXPECT_EQ(self.data, before);
    EXPECT_STREQ(self.data, "self");
    EXPECT_EQ(self.changed, 0);
    EXPECT_EQ(allocations(), 2);
    kmi::release(self);
}

TEST_F(HostTextTest, FormatReplacesAndAppendFormatAppends) {
    HostText replaced = text_holding("abc");
    kmi::format(replaced, "%d", 42);
    EXPECT_STREQ(replaced.data, "42");
    EXPECT_EQ(replaced.owns_buffer, 1);
    EXPECT_EQ(replaced.changed, 1);

    HostText appended = text_holding("abc");
    appended.changed = 0;
    kmi::append_format(appended, "%d", 42);
    EXPECT_STREQ(appended.data, "abc42");
    EXPECT_EQ(appended.owns_buffer, 1);
    EXPECT_EQ(appended.changed, 1);
    kmi::append_format(appended, " %s|%5.2f", "x", 1.5);
    EXPECT_STREQ(appended.data, "abc42 x| 1.50");

    // Appending to an empty, a released and a borrowed text.
    HostText empty = kmi::make_text();
    kmi::append_format(empty, "%s-%s", "NQ", "ES");
    EXPECT_STREQ(empty.data, "NQ-ES");
    HostText released = text_holding("gone");
    kmi::release(released);
    kmi::append_format(released, "%d", 7);
    EXPECT_STREQ(released.data, "7");
    char borrowed[] = "lent";
    HostText not_owned = kmi::make_text();
    not_owned.data = borrowed;
    kmi::append_format(not_owned, "!");
    EXPECT_STREQ(not_owned.data, "lent!");
    EXPECT_STREQ(borrowed, "lent");

    // An empty result still makes a new block and counts as a change.
    HostText same = text_holding("abc");
    same.changed = 0;
    kmi::append_format(same, "%s", "");
    EXPECT_STREQ(same.data, "abc");
    EXPECT_EQ(same.changed, 1);

    for (HostText* t : {&replaced, &appended, &empty, &released, &not_owned, &same}) kmi::release(*t);
}

// The null format goes through a variable, so the compiler's format check has no
// literal to complain about.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#endif
const char* volatile no_format = nullptr;

void append_with_null_format(HostText* t, ...) {
    std::va_list args;
    va_start(args, t);
    kmi::append_format_v(*t, no_format, args);
    va_end(args);
}

void format_with_null_format(HostText& t) { kmi::format(t, no_format); }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

TEST_F(HostTextTest, ANullFormatChangesNothingWhenAppendingAndEmptiesWhenFormatting) {
    HostText t = text_holding("abc");
    char* before = t.data;
    append_with_null_format(&t, 42);
    EXPECT_EQ(t.data, before);
    EXPECT_STREQ(t.data, "abc");
    EXPECT_EQ(t.changed, 1);
    format_with_null_format(t);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.changed, 0);
    EXPECT_EQ(allocations(), 1);
}

TEST_F(HostTextTest, WithoutHeapAppendFormatLeavesTheTextAsItWas) {
    HostText t = text_holding("abc");
    t.changed = 0;
    char* before = t.data;
    kmi::heap_fail_next(1);
    kmi::append_format(t, "%d", 42);
    EXPECT_EQ(t.data, before);
    EXPECT_STREQ(t.data, "abc");
    EXPECT_EQ(t.owns_buffer, 1);
    EXPECT_EQ(t.changed, 0);

    // format clears first, so it leaves the text empty and unchanged-flagged.
    kmi::heap_fail_next(1);
    kmi::format(t, "%d", 42);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.owns_buffer, 0);
    EXPECT_EQ(t.changed, 0);
    EXPECT_EQ(allocations(), 1);
    EXPECT_EQ(frees(), 1);
}

TEST_F(HostTextTest, AFormattingThatFailsLeavesTheTextAsItWas) {
    // Wide texts are not formatted: the measurement fails.
    const wchar_t wide[] = L"wide";
    HostText t = text_holding("abc");
    t.changed = 0;
    kmi::append_format(t, "%ls", wide);
    EXPECT_STREQ(t.data, "abc");
    EXPECT_EQ(t.changed, 0);
    kmi::format(t, "%ls", wide);
    EXPECT_EQ(t.data, t.empty_text);
    EXPECT_EQ(t.changed, 0);
    EXPECT_EQ(allocations(), 1);
    kmi::release(t);
}

TEST_F(HostTextTest, EveryBlockTakenIsFreedOnRelease) {
    HostText texts[4] = {kmi::make_text(), kmi::make_text(), kmi::make_text(), kmi::make_text()};
    for (int round = 0; round < 50; ++round) {
        for (HostText& t : texts) {
            kmi::format(t, "round %d", round);
            kmi::append_format(t, " of %d", 50);
        }
        kmi::assign_text(texts[0], texts[1]);
        kmi::assign(texts[2], "abcdef", round % 7 - 2);
        if (round % 5 == 0) kmi::release(texts[3]);
        if (round % 3 == 0) {
            kmi::heap_fail_next(1);
            kmi::append_format(texts[1], "%s", "lost");
        }
    }
    EXPECT_STREQ(texts[0].data, "round 49 of 50");
    EXPECT_STREQ(texts[1].data, "round 49 of 50");
    EXPECT_EQ(texts[2].data, texts[2].empty_text);  // the last length was negative
    for (HostText& t : texts) kmi::release(t);
    EXPECT_GT(allocations(), 0);
}

// A text built piece by piece formats into its block's room and grows, copying what it
// holds, only when a piece does not fit; a piece whose block cannot be had is left out.
TEST_F(HostTextTest, ABuiltTextGrowsToFitAndLosesOnlyThePieceTheHeapRefuses) {
    kmi::TextBuilder built = kmi::make_text_builder();
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        if (i == 25) {
            kmi::heap_fail_next(1);  // the block is full here: the piece needs a new one
            kmi::append_format(built, "%s", "0123456789 refused ");
            EXPECT_EQ(built.length, static_cast<std::int64_t>(expected.size()));
            EXPECT_EQ(std::string(built.text.data), expected);
        }
        kmi::append_format(built, "piece %02d, ", i);
        expected += "piece " + std::string(i < 10 ? "0" : "") + std::to_string(i) + ", ";
        ASSERT_EQ(std::string(built.text.data), expected);
        ASSERT_EQ(built.length, static_cast<std::int64_t>(expected.size()));
        ASSERT_LT(built.length, built.capacity);
    }
    EXPECT_EQ(allocations(), 3) << "blocks of 128, 256 and 512 bytes";

    // Assigned with padding, the text is replaced in the block it has when that is large
    // enough.
    char* block = built.text.data;
    kmi::assign_padded(built, "abc", 3, 500);
    EXPECT_EQ(std::string(built.text.data), "abc" + std::string(497, ' '));
    EXPECT_EQ(built.text.data, block);
    kmi::assign_padded(built, "abcdef", 6, 2);
    EXPECT_EQ(std::string(built.text.data), "abcdef");
    kmi::heap_fail_next(1);
    kmi::assign_padded(built, "abc", 3, 1000);
    EXPECT_EQ(built.length, 0) << "no block of 1001 bytes: empty";
    EXPECT_STREQ(built.text.data, "");
    kmi::assign_padded(built, "abc", 3, 1000);
    EXPECT_EQ(std::string(built.text.data), "abc" + std::string(997, ' '));
    EXPECT_EQ(allocations(), 4);
    kmi::clear(built);
}

}  // namespace
