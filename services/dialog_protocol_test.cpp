// Tests of the dialog program's command line: the blank stand-in both ways, cutting texts
// at character boundaries, and parsing good and hostile word lists.
#include "services/dialog_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DialogProtocol, BlanksBecomeStandInsAndComeBack) {
    EXPECT_EQ(cncl::EncodeBlanks("TITLE=Copy two files"),
              "TITLE=Copy\xADtwo\xAD"
              "files");
    EXPECT_EQ(cncl::EncodeBlanks(""), "");
    struct Case {
        std::string word, text;
    };
    const Case cases[] = {
        {"Copy\xAD"
         "files",
         "Copy files"},
        {"\xAD\xAD", "  "},
        {"caf\xC3\xAD", "caf\xC3\xAD"},  // i acute keeps its second byte
        {"caf\xC3\xAD\xAD"
         "x",
         "caf\xC3\xAD x"},                 // ... and the stand-in after it
        {"\xE2\x80\xAD", "\xE2\x80\xAD"},  // inside a three-byte character
        {"\xC3\xAD\xAD", "\xC3\xAD "},
        {"\xC3", "\xC3"},  // a cut character stays as it is
        {"\xE2\x80", "\xE2\x80"},
        {"\xFF\xAD", "\xFF "},
    };
    for (const Case& c : cases) EXPECT_EQ(cncl::DecodeBlanks(c.word), c.text) << c.word;
}

TEST(DialogProtocol, CutTextKeepsCharactersWhole) {
    struct Case {
        std::string text;
        size_t max_bytes;
        std::string cut;
    };
    const Case cases[] = {{"abcdef", 3, "abc"},      {"abc", 3, "abc"},
                          {"ab\xC3\xA9", 3, "ab"},   {"ab\xC3\xA9", 4, "ab\xC3\xA9"},
                          {"a\xE2\x82\xAC", 3, "a"}, {"abc", 0, ""}};
    for (const Case& c : cases) EXPECT_EQ(cncl::CutText(c.text, c.max_bytes), c.cut) << c.text;
}

std::vector<const char*> GoodWords() {
    return {"qm_cancel_dialog",
            "first arg",
            "",
            "ADDR=0x7ffc0010",
            "SLEEP=250",
            "MSG=Copy\xAD"
            "files",
            "Quick Modeller - TITLE=Copy\xAD"
            "job",
            "BTNTXT=Stop\xADnow",
            "ENT1=Canceling\xAD...",
            "ENT2=Please\xADwait",
            "ENT3=....",
            "PID=4242"};
}

TEST(DialogProtocol, ParsesAFullCommandLine) {
    std::vector<const char*> words = GoodWords();
    cncl::DialogCommandLine line;
    std::string error;
    ASSERT_TRUE(
        cncl::ParseDialogCommandLine(static_cast<int>(words.size()), words.data(), &line, &error))
        << error;
    EXPECT_EQ(line.flag_address, 0x7ffc0010u);
    EXPECT_EQ(line.sleep_ms, 250);
    EXPECT_EQ(line.application_pid, 4242);
    EXPECT_EQ(line.message, "Copy files");
    EXPECT_EQ(line.caption, "Quick Modeller - Copy job");
    EXPECT_EQ(line.button, "Stop now");
    EXPECT_EQ(line.canceling, "Canceling ...");
    EXPECT_EQ(line.please_wait, "Please wait");
    EXPECT_EQ(line.running_dots, "....");
}

TEST(DialogProtocol, OptionalPartsAndCaptionForms) {
    std::vector<const char*> words = GoodWords();
    words.pop_back();  // no PID word
    words[3] = "ADDR=7FFC0010";
    words[4] = "SLEEP=-5";
    words[5] = "";
    words[6] = "TITLE=";
    words[7] = "";
    words[8] = words[9] = words[10] = "";
    cncl::DialogCommandLine line;
    ASSERT_TRUE(cncl::ParseDialogCommandLine(11, words.data(), &line, nullptr));
    EXPECT_EQ(line.flag_address, 0x7ffc0010u);
    EXPECT_EQ(line.sleep_ms, 0);
    EXPECT_EQ(line.application_pid, 0);
    EXPECT_EQ(line.caption, "");
    EXPECT_EQ(line.message, "");
    EXPECT_EQ(line.button, "");
}

TEST(DialogProtocol, RefusesHostileCommandLinesAndChangesNothing) {
    struct Case {
        int index;
        const char* word;
        const char* error;
    };
    const Case cases[] = {
        {3, "ADDR=", "bad flag address in 'ADDR='"},
        {3, "ADDR=0x", "bad flag address in 'ADDR=0x'"},
        {3, "ADDR=0", "bad flag address in 'ADDR=0'"},
        {3, "ADDR=0x1001", "bad flag address in 'ADDR=0x1001'"},
        {3, "ADDR=0x1000zz", "bad flag address in 'ADDR=0x1000zz'"},
        {3, "ADDR=0x10000000000000000", "bad flag address in 'ADDR=0x10000000000000000'"},
        {3, "ADDR=-0x10", "bad flag address in 'ADDR=-0x10'"},
        {3, "0x1000", "argument 3 must be ADDR=<address>"},
        {4, "SLEEP=99999999999", "argument 4 must be SLEEP=<milliseconds>"},
        {4, "SLEEP=", "argument 4 must be SLEEP=<milliseconds>"},
        {4, "SLEEP=1 ", "argument 4 must be SLEEP=<milliseconds>"},
        {5, "Copy", "argument 5 must be MSG=<text> or empty"},
        {6, "Copy - Title=x", "argument 6 must be TITLE=<text> or <name> - TITLE=<text>"},
        {6, "", "argument 6 must be TITLE=<text> or <name> - TITLE=<text>"},
        {7, "BUTTON=x", "argument 7 must be BTNTXT=<text> or empty"},
        {8, "ENT2=x", "argument 8 must be ENT1=<text> or empty"},
        {10, "ENT3", "argument 10 must be ENT3=<text> or empty"},
        {11, "PID=0", "argument 11 must be PID=<process id>"},
        {11, "PID=-7", "argument 11 must be PID=<process id>"},
        {11, "PID=4294967297", "argument 11 must be PID=<process id>"},
        {11, "4242", "argument 11 must be PID=<process id>"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> words = GoodWords();
        words[c.index] = c.word;
        cncl::DialogCommandLine line;
        line.message = "kept";
        std::string error;
        EXPECT_FALSE(cncl::ParseDialogCommandLine(12, words.data(), &line, &error)) << c.word;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(line.message, "kept");
    }
    std::vector<const char*> words = GoodWords();
    std::string error;
    cncl::DialogCommandLine line;
    EXPECT_FALSE(cncl::ParseDialogCommandLine(10, words.data(), &line, &error));
    EXPECT_EQ(error, "expected 10 or 11 arguments, got 9");
    EXPECT_FALSE(cncl::ParseDialogCommandLine(0, words.data(), &line, &error));
    EXPECT_EQ(error, "expected 10 or 11 arguments, got 0");
    words[2] = nullptr;
    EXPECT_FALSE(cncl::ParseDialogCommandLine(12, words.data(), &line, &error));
    EXPECT_EQ(error, "missing argument 2");
    EXPECT_FALSE(cncl::ParseDialogCommandLine(12, nullptr, &line, &error));
    EXPECT_EQ(error, "no command line");
}

}  // namespace
