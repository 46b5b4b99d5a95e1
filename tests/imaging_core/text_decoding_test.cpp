// Joke text decoding and line splitting, shared by every text engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/text_engine.h"

namespace quipix {
namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::u16string text;
};

TEST(TextDecoding, Utf8WhereTheWholeTextIsValidElseWindows1252) {
    const DecodeCase cases[] = {
        {"ascii", "Why?", u"Why?"},
        {"utf8 two bytes", "caf\xC3\xA9", u"caf\u00E9"},
        {"utf8 three bytes", "\xE2\x80\x9Cq\xE2\x80\x9D", u"\u201Cq\u201D"},
        {"utf8 four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"byte-order mark dropped", "\xEF\xBB\xBFhi", u"hi"},
        {"1252 letter", "caf\xE9", u"caf\u00E9"},
        {"1252 quotes and euro", "\x93q\x94\x80", u"\u201Cq\u201D\u20AC"},
        // One bad sequence anywhere sends the whole text to 1252.
        {"mixed", "\xC3\xA9 \xE9", u"\u00C3\u00A9 \u00E9"},
        {"overlong", "\xC0\xAF", u"\u00C0\u00AF"},
        {"encoded surrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC"},
        {"cut short", "ab\xE2\x80", u"ab\u00E2\u20AC"},
        {"stray continuation", "\x80", u"\u20AC"},
    };
    for (const DecodeCase& c : cases) EXPECT_EQ(DecodeText(c.bytes), c.text) << c.name;
}

TEST(TextDecoding, LinesEndAtEveryKindOfBreak) {
    using Lines = std::vector<std::u16string>;
    EXPECT_EQ(SplitTextLines(u"a\r\nb\rc\nd", false), (Lines{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(SplitTextLines(u"a\n\rb", false), (Lines{u"a", u"", u"b"}));
    EXPECT_EQ(SplitTextLines(u"a\r\n\r\n", false), (Lines{u"a", u""}));
    EXPECT_EQ(SplitTextLines(u"", false), Lines{});
    EXPECT_EQ(SplitTextLines(u"", true), Lines{u""});
    EXPECT_EQ(SplitTextLines(u"a\r\nb\n", true), Lines{u"a  b "});
}

}  // namespace
}  // namespace quipix
