// The joke file parser: line splitting, the header, the three layouts, and files
// that are malformed, binary or very large.
#include <gtest/gtest.h>

#include <set>

#include "common/joke_file.h"
#include "common/random.h"
#include "common/settings.h"
#include "support/test_support.h"

namespace quipix {
namespace {

using Lines = std::vector<std::string>;

Lines Parse(const std::string& text, const std::string& description = "") {
    Lines lines{"stale"};
    ParseJokeText(text, description, lines);
    return lines;
}

// Every joke the file can give, found by parsing it with many seeds.
std::set<Lines> AllJokes(const std::string& text, const std::string& description = "") {
    std::set<Lines> jokes;
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
        SetRandSeed(seed * 7919u);
        jokes.insert(Parse(text, description));
    }
    return jokes;
}

TEST(JokeLines, SplitAtEveryKindOfLineEnd) {
    auto lines = SplitJokeLines("a\r\nb\rc\nd\n\re");
    EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(SplitJokeLines("x\n").size(), 1u);
    EXPECT_EQ(SplitJokeLines("x\n\n").size(), 2u);
    EXPECT_TRUE(SplitJokeLines("").empty());
    EXPECT_EQ(SplitJokeLines(std::string("one\ntwo\0three\nfour", 18)),
              (std::vector<std::string_view>{"one", "two"}));
}

TEST(JokeHeader, ReadsSectionAndKeyRegardlessOfCase) {
    const std::string text =
        "; a comment\n"
        "Format=ignored before any section\n"
        "[ header ]\n"
        "  FORMAT =  q&a  \n"
        "description=\"  quoted ; not a comment  \"\n"
        "Format=second occurrence\n"
        "[Data]\n"
        "Description=data part\n";
    EXPECT_EQ(ReadIniValue(text, "Header", "Format"), "q&a");
    EXPECT_EQ(ReadIniValue(text, "Header", "Description"), "  quoted ; not a comment  ");
    EXPECT_EQ(ReadIniValue(text, "Header", "Missing"), "");
    EXPECT_EQ(ReadIniValue(text, "Other", "Format"), "");
    EXPECT_EQ(ReadIniValue("[Header]\nDescription='single'\n", "Header", "Description"), "single");
    EXPECT_EQ(ReadIniValue("[Header]\nDescription=\"unbalanced\n", "Header", "Description"), "\"unbalanced");
    EXPECT_EQ(ReadIniValue("[Header]\n;Description=commented\n", "Header", "Description"), "");
}

TEST(JokeHeader, CutsTheValueAt1023Characters) {
    std::string value(5000, 'v');
    EXPECT_EQ(ReadIniValue("[Header]\nDescription=" + value + "\n", "Header", "Description"),
              value.substr(0, 1023));
}

TEST(JokeFields, CountAndGetSkipEmptyFields) {
    EXPECT_EQ(CountFields("|one||two|", "|"), 2);
    EXPECT_EQ(GetField(1, "|one||two|", "|"), "one");
    EXPECT_EQ(GetField(2, "|one||two|", "|"), "two");
    EXPECT_EQ(GetField(3, "|one||two|", "|"), "");
    EXPECT_EQ(CountFields("|||", "|"), 0);
    EXPECT_EQ(CountFields("", "|"), 0);
    EXPECT_EQ(CountFields(" a | b ", "|"), 2);
    EXPECT_EQ(GetField(2, " a | b ", "|"), " b ");  // fields are not trimmed
    EXPECT_EQ(GetField(0, "a", "|"), "");
    EXPECT_EQ(CountFields("a,b;c", ",;"), 3);
}

TEST(JokeFileSingle, PicksOnlyJokeLinesAndSplitsFields) {
    const std::string text = "[Header]\nFormat=single\n[DATA]\n\n;comment|x\n|one||two|\n ;blank first\n";
    auto jokes = AllJokes(text);
    EXPECT_EQ(jokes, (std::set<Lines>{{"one", "two"}, {" ;blank first"}}));
}

TEST(JokeFileSingle, PutsTheDescriptionFirstAndWithoutAJokeLineGivesNoJoke) {
    const std::string text = "[Header]\nFormat=SINGLE\nDescription=Why?\n[data]\na|b|c\n";
    EXPECT_EQ(Parse(text), (Lines{"Why?", "a", "b", "c"}));
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\nDescription=D\n[Data]\n|||\n"), (Lines{"D"}));
    // No joke line gives no joke instead of looping forever.
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\nDescription=D\n[Data]\n\n;only comments\n\n"), Lines{});
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\n[Data]"), Lines{});  // the data line is the last line
}

TEST(JokeFileSingle, EveryJokeLineComesUp) {
    std::string text = "[Header]\nFormat=SINGLE\n[Data]\n";
    for (int i = 0; i < 10; ++i) text += "q" + std::to_string(i) + "|a\n;skip\n\n";
    EXPECT_EQ(AllJokes(text).size(), 10u);
}

TEST(JokeFileData, TheDataLineMustStandAlone) {
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\n [Data]\nx|y\n"), Lines{});
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\n[Data] \nx|y\n"), Lines{});
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\nx|y\n"), Lines{});
    EXPECT_EQ(Parse("[Header]\nFormat=SINGLE\n[data]\nx|y\n"), (Lines{"x", "y"}));
    // An unknown or missing format gives no joke.
    EXPECT_EQ(Parse("[Header]\nFormat=DOUBLE\n[Data]\nx|y\n"), Lines{});
    EXPECT_EQ(Parse("[Header]\n[Data]\nx|y\n"), Lines{});
    EXPECT_EQ(Parse("[Data]\nx|y\n"), Lines{});
}

TEST(JokeFileQA, QuestionsNeedCapitalQColonBlank) {
    const std::string text =
        "[Header]\nFormat=Q&A\n[Data]\n"
        "q: lower\nA: x\n"
        "Q:tight\nA: x\n"
        "Q: real\nA: one\nA: two\nnot an answer\nA: stray\n"
        "Q: apart\n\nA: separated\n";
    EXPECT_EQ(AllJokes(text), (std::set<Lines>{{"real", "one", "two"}, {"apart"}}));
}

TEST(JokeFileQA, TheLastAnswerEndsTheFileAndAQuestionWithoutAnswersTakesTheDescription) {
    EXPECT_EQ(Parse("[Header]\nFormat=Q&A\n[Data]\nQ: q\nA: a1\nA: a2"), (Lines{"q", "a1", "a2"}));
    EXPECT_EQ(Parse("[Header]\nFormat=Q&A\n[Data]\nQ: last"), (Lines{"last"}));
    EXPECT_EQ(Parse("[Header]\nFormat=Q&A\n[Data]\nQ: q\n\n", "Desc"), (Lines{"q", "Desc"}));
    EXPECT_EQ(Parse("[Header]\nFormat=Q&A\n[Data]\nQ: q\nA: a\n", "Desc"), (Lines{"q", "a"}));
    // No question gives no joke.
    EXPECT_EQ(Parse("[Header]\nFormat=Q&A\n[Data]\nA: orphan\nhello\n", "Desc"), Lines{});
}

TEST(JokeFileML, TakesTheLinesUpToTheEndMarkerButNeverTheFilesLastLine) {
    const std::string text = "[Header]\nFormat=ml\n[Data]\n<start>\nfirst\n\nsecond\n<end>\nafter\n";
    EXPECT_EQ(Parse(text), (Lines{"first", "", "second"}));
    EXPECT_EQ(Parse("[Header]\nFormat=ML\n[Data]\n<START>\none\ntwo\nthree"), (Lines{"one", "two"}));
}

TEST(JokeFileML, AnEndMarkerRightAfterTheStartIsTaken) {
    const std::string text = "[Header]\nFormat=ML\n[Data]\n<START>\n<END>\nx\n<START>\ny\n<END>\ntail\n";
    // The second marker is a candidate too; it gives its own joke.
    EXPECT_EQ(AllJokes(text), (std::set<Lines>{{"<END>", "x", "<START>", "y"}, {"y"}}));
}

TEST(JokeFileML, StartMarkersAtTheEndOfTheFileGiveNoOverrun) {
    EXPECT_EQ(Parse("[Header]\nFormat=ML\n[Data]\n<START>"), Lines{});
    EXPECT_EQ(Parse("[Header]\nFormat=ML\n[Data]\n<START>\nlast"), (Lines{"last"}));
    EXPECT_EQ(Parse("[Header]\nFormat=ML\n[Data]\nno markers\n"), Lines{});
}

TEST(JokeFileOnDisk, MissingAndFolderPathsGiveNoJokeAndQAUsesTheCurrentDescription) {
    test::TempDir dir;
    Lines lines{"stale"};
    ParseJokeFile((dir.path() / "missing.txt").string(), lines);
    EXPECT_TRUE(lines.empty());
    lines = {"stale"};
    ParseJokeFile(dir.str(), lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(ReadJokeFileDescription(dir.str()), "");
    EXPECT_EQ(ReadJokeFileDescription((dir.path() / "missing.txt").string()), "");
    // Q&A takes the current description, not the file's.
    auto path = dir.write("qa.txt", "[Header]\nFormat=Q&A\nDescription=From file\n[Data]\nQ: q\n");
    Settings.CurrentDescription = "From settings";
    ParseJokeFile(path, lines);
    EXPECT_EQ(lines, (Lines{"q", "From settings"}));
    EXPECT_EQ(ReadJokeFileDescription(path), "From file");
    Settings.CurrentDescription.clear();
}

TEST(JokeFileHostile, BinaryBytesNeverBreakTheParser) {
    std::string bytes;
    std::uint32_t x = 1;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        bytes += char(x >> 24);
    }
    for (const char* header : {"", "[Header]\nFormat=SINGLE\n[Data]\n", "[Header]\nFormat=Q&A\n[Data]\n",
                               "[Header]\nFormat=ML\n[Data]\n<START>\n"}) {
        auto lines = Parse(header + bytes);
        for (const auto& l : lines) EXPECT_LE(l.size(), bytes.size());
    }
    test::TempDir dir;
    Lines lines;
    ParseJokeFile(dir.write("binary.txt", bytes), lines);  // no NUL-free header: no joke
    EXPECT_TRUE(lines.empty());
}

TEST(JokeFileHostile, SeveralMegabytesAndAVeryLongLine) {
    std::string text = "[Header]\nFormat=Q&A\n[Data]\n";
    for (int i = 0; i < 60000; ++i) text += "Q: question number " + std::to_string(i) + "\nA: answer\n\n";
    const std::string longLine(100000, 'L');
    text += "Q: " + longLine + "\nA: " + longLine + "\n";
    ASSERT_GT(text.size(), 2u << 20);
    test::TempDir dir;
    auto path = dir.write("big.txt", text);
    std::set<std::string> questions;
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
        SetRandSeed(seed);
        Lines lines;
        ParseJokeFile(path, lines);
        ASSERT_EQ(lines.size(), 2u);
        questions.insert(lines[0]);
    }
    EXPECT_GT(questions.size(), 15u);

    Lines lines;
    ParseJokeFile(dir.write("long.txt", "[Header]\nFormat=SINGLE\n[Data]\n" + longLine + "|" + longLine),
                  lines);
    EXPECT_EQ(lines, (Lines{longLine, longLine}));
}

}  // namespace
}  // namespace quipix
