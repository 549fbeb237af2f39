// Tests of the out-of-process dialog client: the dialog program's words (through a
// replaced start call and through a real recording program), the records and their
// handles, and the failure paths of starting, ending and setting the program.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "port/process.h"
#include "services/dialog_test_support.h"

namespace {

using dialog_test::DialogTest;
using dialog_test::Translations;
using Words = std::vector<std::string>;

// What the replaced process calls saw and answer.
struct FakeProcesses {
    std::vector<Words> started;
    std::vector<std::string> order;  // "allow", "start", "end <pid>"
    int64_t next_pid = 4000;
    PortProcessEnd end_result = kPortProcessEndReaped;
};
FakeProcesses& Fake() {
    static FakeProcesses fake;
    return fake;
}
int64_t FakeStart(const char* const* argv) {
    Fake().order.push_back("start");
    Words words;
    for (; *argv != nullptr; ++argv) words.emplace_back(*argv);
    Fake().started.push_back(words);
    return Fake().next_pid < 0 ? -1 : Fake().next_pid++;
}
PortProcessEnd FakeEnd(int64_t pid, int grace_ms) {
    Fake().order.push_back("end " + std::to_string(pid) + " " + std::to_string(grace_ms));
    return Fake().end_result;
}
int FakeAllow() {
    Fake().order.push_back("allow");
    return 0;
}

class ProcessDialog : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        Fake() = FakeProcesses{};
        Translations() = {{"albl_Press_button_to_cancel_current_command_", "Press the button"},
                          {"albl_Cancel_title", "Cancel title"},
                          {"albl_Cancel_button", "Stop now"},
                          {"albl_Canceling___", "Canceling ..."},
                          {"albl_Please_wait_", "Please wait"},
                          {"albl_running_dots_15", "..............."},
                          {"title", "Copy files"}};
        ASSERT_EQ(cnclRegisterTranslationCB(dialog_test::Translate), 1);
        ASSERT_EQ(cnclSetProcessCreationData("dialog_program", "first argument", "second"), 1);
    }
    static void UseFakeProcesses() {
        cncl::ProcessCalls() = cncl::DialogProcessCalls{FakeStart, FakeEnd, FakeAllow};
    }
    static std::string Pid() { return "PID=" + std::to_string(getpid()); }
};

TEST_F(ProcessDialog, TheArgumentVectorWordByWord) {
    UseFakeProcesses();
    const intptr_t handle = cncl_display_cancel_dialog_n(250, nullptr, nullptr, nullptr);
    ASSERT_EQ(handle, 4000);
    ASSERT_EQ(Fake().started.size(), 1u);
    const Words& words = Fake().started[0];
    ASSERT_EQ(words.size(), 12u);
    char address[64];
    snprintf(address, sizeof(address), "ADDR=%p", static_cast<void*>(cncl::State().processes));
    EXPECT_EQ(words, (Words{"dialog_program", "first argument", "second", address, "SLEEP=250",
                            "MSG=Press\xADthe\xAD"
                            "button",
                            "TITLE=Cancel\xADtitle", "BTNTXT=Stop\xADnow", "ENT1=Canceling\xAD...",
                            "ENT2=Please\xADwait", "ENT3=...............", Pid()}));
    // The permission comes before the program, so an early cancel is never refused.
    EXPECT_EQ(Fake().order, (Words{"allow", "start"}));
}

struct CaptionCase {
    const char* application;
    const char* title_key;
    const char* button_key;
    const char* caption_word;
    const char* button_word;
};

TEST_F(ProcessDialog, CaptionAndButtonWords) {
    const CaptionCase cases[] = {
        {nullptr, "title", nullptr,
         "TITLE=Copy\xAD"
         "files",
         "BTNTXT=Stop\xADnow"},
        {"Quick Modeller", "title", nullptr,
         "Quick Modeller - TITLE=Copy\xAD"
         "files",
         "BTNTXT=Stop\xADnow"},
        {"Modeller", nullptr, "cancel_button_hidden", "Modeller - TITLE=Cancel\xADtitle", ""},
        {nullptr, "", "", "TITLE=", "BTNTXT="},
        {nullptr, "missing", "missing", "TITLE=", "BTNTXT="},
    };
    UseFakeProcesses();
    for (const CaptionCase& c : cases) {
        cncl_initialize_cancel_library(c.application);
        ASSERT_NE(cncl_display_cancel_dialog_n(0, "", c.title_key, c.button_key), -1);
        const Words& words = Fake().started.back();
        EXPECT_EQ(words[6], c.caption_word);
        EXPECT_EQ(words[7], c.button_word);
        EXPECT_EQ(words[5], "MSG=");
    }
    // The caption word is cut to 255 bytes; the name is a text, so the cut is harmless.
    cncl_initialize_cancel_library(std::string(254, 'n').c_str());
    ASSERT_NE(cncl_display_cancel_dialog_n(0, nullptr, "title", nullptr), -1);
    EXPECT_EQ(Fake().started.back()[6], std::string(254, 'n') + " ");
}

TEST_F(ProcessDialog, WithoutTranslationTheTextWordsAreEmpty) {
    cncl::ResetDialogStateForTests();
    UseFakeProcesses();
    ASSERT_EQ(cnclSetProcessCreationData("dialog_program", "", ""), 1);
    ASSERT_EQ(cncl_display_cancel_dialog_n(-3, "msg", "title", "button"), 4000);
    const Words& words = Fake().started[0];
    EXPECT_EQ(Words(words.begin() + 4, words.end() - 1),
              (Words{"SLEEP=-3", "MSG=", "TITLE=", "BTNTXT=", "", "", ""}));
    EXPECT_EQ(Words(words.begin() + 1, words.begin() + 3), (Words{"", ""}));
}

TEST_F(ProcessDialog, EachDialogHasItsOwnRecordAndFlag) {
    UseFakeProcesses();
    const intptr_t first = cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr);
    const intptr_t second = cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr);
    ASSERT_EQ(first, 4000);
    ASSERT_EQ(second, 4001);
    EXPECT_EQ(cncl::ProcessRecordCount(), 2u);
    // The dialog program writes the flag at the address of its record.
    cncl::State().processes->next->cancel_flag.store(1);
    EXPECT_EQ(cncl_cancel_pressed_n(first), 1u);
    EXPECT_EQ(cncl_cancel_pressed_n(second), 0u);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(first), 1);
    EXPECT_EQ(cncl_cancel_pressed_n(first), 0u);  // unknown now
    EXPECT_EQ(cncl::ProcessRecordCount(), 1u);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(second), 1);
    EXPECT_EQ(cncl::ProcessRecordCount(), 0u);
    EXPECT_EQ(Fake().order,
              (Words{"allow", "start", "allow", "start", "end 4000 2000", "end 4001 2000"}));
}

TEST_F(ProcessDialog, UnknownHandlesAreRefusedWithoutEndingAnything) {
    UseFakeProcesses();
    ASSERT_EQ(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr), 4000);
    for (intptr_t handle : {intptr_t{-1}, intptr_t{0}, intptr_t{4001}}) {
        EXPECT_EQ(cncl_cancel_pressed_n(handle), 0u) << handle;
        EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 0) << handle;
    }
    EXPECT_EQ(Fake().order, (Words{"allow", "start"}));
    EXPECT_EQ(cncl::ProcessRecordCount(), 1u);
}

TEST_F(ProcessDialog, AFailedStartKeepsNoRecord) {
    UseFakeProcesses();
    Fake().next_pid = -1;
    EXPECT_EQ(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(cncl::ProcessRecordCount(), 0u);
    EXPECT_EQ(cncl_cancel_pressed_n(-1), 0u);
    EXPECT_EQ(cncl_delete_cancel_dialog_n(-1), 0);

    cncl::ProcessCalls() = cncl::RealProcessCalls();
    ASSERT_EQ(cnclSetProcessCreationData("/nonexistent/qm_no_dialog", "", ""), 1);
    EXPECT_EQ(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr), -1);
    ASSERT_EQ(cnclSetProcessCreationData("", "", ""), 1);
    EXPECT_EQ(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(cncl::ProcessRecordCount(), 0u);
}

TEST_F(ProcessDialog, ARecordOutlivesAProgramThatCouldNotBeEnded) {
    UseFakeProcesses();
    const intptr_t handle = cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr);
    ASSERT_EQ(handle, 4000);
    Fake().end_result = kPortProcessEndFailed;
    EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 0);
    EXPECT_EQ(cncl::ProcessRecordCount(), 1u);
    cncl::State().processes->cancel_flag.store(1);  // the program may still write
    EXPECT_EQ(cncl_cancel_pressed_n(handle), 1u);
    // A program that had already been reaped elsewhere cannot write any more.
    Fake().end_result = kPortProcessEndNotChild;
    EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
    EXPECT_EQ(cncl::ProcessRecordCount(), 0u);
}

TEST_F(ProcessDialog, CreationDataThatDoesNotFitIsRefusedWhole) {
    UseFakeProcesses();
    const std::string long_path(1024, 'p');
    EXPECT_EQ(cnclSetProcessCreationData(long_path.c_str(), "a", "b"), 0);
    EXPECT_EQ(cnclSetProcessCreationData("other", std::string(1024, 'f').c_str(), "b"), 0);
    EXPECT_EQ(cnclSetProcessCreationData("other", "a", "01234567890123456789"), 0);  // 20
    EXPECT_EQ(cnclSetProcessCreationData(nullptr, "a", "b"), 0);
    EXPECT_EQ(cnclSetProcessCreationData("other", nullptr, "b"), 0);
    EXPECT_EQ(cnclSetProcessCreationData("other", "a", nullptr), 0);
    ASSERT_NE(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(Words(Fake().started[0].begin(), Fake().started[0].begin() + 3),
              (Words{"dialog_program", "first argument", "second"}));

    const std::string path(1023, 'p'), first(1023, 'f'), second(19, 's');
    EXPECT_EQ(cnclSetProcessCreationData(path.c_str(), first.c_str(), second.c_str()), 1);
    ASSERT_NE(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(Words(Fake().started[1].begin(), Fake().started[1].begin() + 3),
              (Words{path, first, second}));
}

// The real recording stand-in: blanks and 0xAD bytes reach the program inside single words.
class RecordedDialog : public ProcessDialog {
  protected:
    void SetUp() override {
        ProcessDialog::SetUp();
        record_ = "/tmp/services_dialog_test.record." + std::to_string(getpid());
        unlink(record_.c_str());
        ASSERT_EQ(setenv("QM_DIALOG_RECORD", record_.c_str(), 1), 0);
    }
    void TearDown() override {
        unsetenv("QM_DIALOG_RECORD");
        unlink(record_.c_str());
        ProcessDialog::TearDown();
    }
    // The words the stand-in recorded, once it has recorded them.
    Words RecordedWords() const {
        for (int i = 0; i < 1000 && access(record_.c_str(), F_OK) != 0; ++i) usleep(10 * 1000);
        std::stringstream all;
        all << std::ifstream(record_, std::ios::binary).rdbuf();
        Words words;
        std::string word;
        while (std::getline(all, word, '\0')) words.push_back(word);
        return words;
    }
    std::string record_;
};

TEST_F(RecordedDialog, BlankStandInsArriveAsOneWordEach) {
    ASSERT_EQ(cnclSetProcessCreationData(QM_DIALOG_RECORDER_PATH, "--parent window", "7"), 1);
    const intptr_t handle = cncl_display_cancel_dialog_n(0, nullptr, "title", nullptr);
    ASSERT_GT(handle, 0);
    const Words words = RecordedWords();
    ASSERT_EQ(words.size(), 12u);
    EXPECT_EQ(Words(words.begin(), words.begin() + 3),
              (Words{QM_DIALOG_RECORDER_PATH, "--parent window", "7"}));
    EXPECT_EQ(words[6],
              "TITLE=Copy\xAD"
              "files");
    EXPECT_EQ(words[8], "ENT1=Canceling\xAD...");
    EXPECT_EQ(words[11], Pid());
    // Deleting ends the stand-in (it waits for a signal) and reaps it before returning.
    EXPECT_TRUE(port_process_exists(handle));
    EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
    EXPECT_FALSE(port_process_exists(handle));
    EXPECT_EQ(cncl::ProcessRecordCount(), 0u);
}

TEST_F(RecordedDialog, ThreeStartsAndStopsLeaveNothingBehind) {
    ASSERT_EQ(cnclSetProcessCreationData(QM_DIALOG_RECORDER_PATH, "", ""), 1);
    std::vector<intptr_t> handles;
    for (int i = 0; i < 3; ++i) {
        handles.push_back(cncl_display_cancel_dialog_n(0, nullptr, nullptr, nullptr));
        ASSERT_GT(handles.back(), 0);
    }
    EXPECT_EQ(cncl::ProcessRecordCount(), 3u);
    for (intptr_t handle : handles) {
        EXPECT_EQ(cncl_cancel_pressed_n(handle), 0u);
        EXPECT_EQ(cncl_delete_cancel_dialog_n(handle), 1);
        EXPECT_FALSE(port_process_exists(handle));
    }
    EXPECT_EQ(cncl::ProcessRecordCount(), 0u);
}

}  // namespace
