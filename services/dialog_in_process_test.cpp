// Tests of the in-process dialog: registrations, the texts and caption handed to the display
// callback, the displayed state, progress positions and texts.
#include <string>
#include <vector>

#include "services/dialog_test_support.h"

namespace {

using dialog_test::Calls;
using dialog_test::DialogTest;
using dialog_test::Text;
using dialog_test::Translations;

class InProcessDialog : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        Translations() = {{"albl_Press_button_to_cancel_current_command_", "Press to cancel"},
                          {"albl_Cancel_title", "Cancel title"},
                          {"albl_Cancel_button", "Cancel"},
                          {"msg", "Copying files"},
                          {"title", "Copy"},
                          {"button", "Stop"},
                          {"p1", "Step 1"},
                          {"p2", "Step 2"}};
        ASSERT_EQ(cnclRegisterTranslationCB(dialog_test::Translate), 1);
    }
    static int Show() {
        return cncl_display_cancel_dialog(nullptr, "msg", "title", "button", nullptr, nullptr);
    }
    // The log lines about percentages (the assertion records are logged as well).
    std::vector<std::pair<int, std::string>> PercentageLog() const {
        std::vector<std::pair<int, std::string>> lines;
        for (const auto& line : log_) {
            if (line.second.starts_with("Invalid progress percentage")) lines.push_back(line);
        }
        return lines;
    }
};

TEST_F(InProcessDialog, NullRegistrationsAreRefusedAndKeepWhatWasThere) {
    EXPECT_EQ(cnclRegisterTranslationCB(nullptr), 0);
    EXPECT_EQ(cnclRegisterProgressDialogCallbacks(
                  dialog_test::RecordDisplay, dialog_test::RecordDelete, nullptr,
                  dialog_test::RecordSetPosition, dialog_test::RecordCancelPressed),
              0);
    EXPECT_EQ(AssertTexts(), (std::vector<std::string>{"Result", "Result"}));
    // None of the four non-null callbacks was kept, and the translation still works.
    EXPECT_EQ(Show(), 0);
    EXPECT_TRUE(Calls().displays.empty());
    RegisterCallbacks();
    EXPECT_EQ(Show(), 1);
    ASSERT_EQ(Calls().displays.size(), 1u);
    EXPECT_EQ(Calls().displays[0].message, Text("Copying files"));
}

struct CaptionCase {
    const char* application;
    const char* button_key;
    const char* caption;
    const char* button;
};

TEST_F(InProcessDialog, CaptionAndButtonForms) {
    const CaptionCase cases[] = {
        {nullptr, "button", "Copy", "Stop"},
        {"Modeller", "button", "Modeller - Copy", "Stop"},
        {"Modeller", nullptr, "Modeller - Copy", "Cancel"},  // default button key
        {"Modeller", "cancel_button_hidden", "Modeller", ""},
        {nullptr, "cancel_button_hidden", "Copy", ""},
        {"", "button", "Copy", "Stop"},
    };
    RegisterCallbacks();
    for (const CaptionCase& c : cases) {
        cncl_initialize_cancel_library(c.application);
        ASSERT_EQ(
            cncl_display_cancel_dialog(nullptr, "msg", "title", c.button_key, nullptr, nullptr), 1);
        ASSERT_EQ(cncl_delete_cancel_dialog(), 1);
        ASSERT_FALSE(Calls().displays.empty());
        const dialog_test::DisplayCall& call = Calls().displays.back();
        EXPECT_EQ(call.caption, Text(c.caption)) << c.button_key;
        EXPECT_EQ(call.button, Text(c.button)) << c.button_key;
    }
}

TEST_F(InProcessDialog, DefaultKeysProgressTextsAndTheMessageMove) {
    RegisterCallbacks();
    ASSERT_EQ(cncl_display_cancel_dialog(nullptr, nullptr, nullptr, nullptr, "p1", "p2"), 1);
    ASSERT_EQ(cncl_delete_cancel_dialog(), 1);
    // An empty progress text 1 takes the message, and the message argument becomes null.
    ASSERT_EQ(cncl_display_cancel_dialog(nullptr, "msg", "title", "button", "", nullptr), 1);
    ASSERT_EQ(Calls().displays.size(), 2u);
    const dialog_test::DisplayCall& first = Calls().displays[0];
    EXPECT_EQ(first.caption, Text("Cancel title"));
    EXPECT_EQ(first.message, Text("Press to cancel"));
    EXPECT_EQ(first.progress_text1, Text("Step 1"));
    EXPECT_EQ(first.progress_text2, Text("Step 2"));
    EXPECT_EQ(first.button, Text("Cancel"));
    const dialog_test::DisplayCall& second = Calls().displays[1];
    EXPECT_EQ(second.message, Text());
    EXPECT_EQ(second.progress_text1, Text("Copying files"));
    EXPECT_EQ(second.progress_text2, Text());
}

TEST_F(InProcessDialog, KeysWithoutTranslationAreNeverShown) {
    RegisterCallbacks();
    Translations().clear();  // every key translates to null
    cncl_initialize_cancel_library("Modeller");
    ASSERT_EQ(cncl_display_cancel_dialog(nullptr, "msg", "title", "button", nullptr, "p2"), 1);
    ASSERT_EQ(Calls().displays.size(), 1u);
    const dialog_test::DisplayCall& call = Calls().displays[0];
    EXPECT_EQ(call.caption, Text("Modeller - "));
    EXPECT_EQ(call.message, Text(""));
    EXPECT_EQ(call.progress_text1, Text());
    EXPECT_EQ(call.progress_text2, Text(""));
    EXPECT_EQ(call.button, Text(""));
}

TEST_F(InProcessDialog, LongTextsAreCutTo255BytesAtACharacterBoundary) {
    RegisterCallbacks();
    Translations()["title"] = std::string(254, 't') + "\xC3\xA9" + "tail";  // 'e' acute
    Translations()["msg"] = std::string(300, 'm');
    cncl_initialize_cancel_library(std::string(300, 'a').c_str());
    ASSERT_EQ(cncl_display_cancel_dialog(nullptr, "msg", "title", "cancel_button_hidden", nullptr,
                                         nullptr),
              1);
    EXPECT_EQ(Calls().displays[0].caption, Text(std::string(255, 'a')));
    EXPECT_EQ(Calls().displays[0].message, Text(std::string(255, 'm')));
    ASSERT_EQ(cncl_delete_cancel_dialog(), 1);
    cncl_initialize_cancel_library(nullptr);
    ASSERT_EQ(cncl_display_cancel_dialog(nullptr, "msg", "title", nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(Calls().displays[1].caption, Text(std::string(254, 't')));
}

TEST_F(InProcessDialog, DisplayingTwiceCallsDisplayOnce) {
    RegisterCallbacks();
    EXPECT_EQ(cncl_cancel_dialog_displayed(), 0);
    EXPECT_EQ(Show(), 1);
    EXPECT_EQ(cncl_display_cancel_dialog(nullptr, "p1", "p2", "button", nullptr, nullptr), 1);
    EXPECT_EQ(Calls().displays.size(), 1u);
    EXPECT_EQ(cncl_cancel_dialog_displayed(), 1);
    // The second request's texts are kept although the window is not touched.
    EXPECT_EQ(cncl::State().message, Text("Step 1"));
    EXPECT_EQ(cncl::State().title, Text("Step 2"));
}

TEST_F(InProcessDialog, DisabledOrRefusedDisplaysShowNothing) {
    RegisterCallbacks();
    cnclEnableProgressDialog(0);
    EXPECT_EQ(Show(), 0);
    EXPECT_TRUE(Calls().displays.empty());
    cnclEnableProgressDialog(5);
    Calls().display_result = 0;
    EXPECT_EQ(Show(), 0);
    EXPECT_EQ(Calls().displays.size(), 1u);
    EXPECT_EQ(cncl_cancel_dialog_displayed(), 0);
    EXPECT_EQ(cncl_delete_cancel_dialog(), 0);
    EXPECT_EQ(Calls().deletes, 0);
}

TEST_F(InProcessDialog, DeleteAndCancelPressedFollowTheDisplayedState) {
    RegisterCallbacks();
    Calls().cancel_result = 3;
    EXPECT_EQ(cncl_cancel_pressed(), 0);
    EXPECT_EQ(Calls().cancel_polls, 0);
    ASSERT_EQ(Show(), 1);
    EXPECT_EQ(cncl_cancel_pressed(), 3);
    EXPECT_EQ(Calls().cancel_polls, 1);
    // A failing delete still ends the displayed state.
    Calls().delete_result = 0;
    EXPECT_EQ(cncl_delete_cancel_dialog(), 0);
    EXPECT_EQ(Calls().deletes, 1);
    EXPECT_EQ(cncl_cancel_dialog_displayed(), 0);
    EXPECT_EQ(cncl_delete_cancel_dialog(), 0);
    EXPECT_EQ(Calls().deletes, 1);
    EXPECT_EQ(cncl_cancel_pressed(), 0);
}

TEST_F(InProcessDialog, ARepeatedPercentageIsSetOnceAndOutlivesTheDialog) {
    RegisterCallbacks();
    // Remembered without a dialog, and the initial "all bits set" equals -1.
    EXPECT_EQ(cncl_set_progress_pos(0, 30), 0);
    ASSERT_EQ(Show(), 1);
    EXPECT_EQ(cncl_set_progress_pos(0, 30), 0);
    EXPECT_EQ(cncl_set_progress_pos(4, 40), 8);
    EXPECT_EQ(cncl_set_progress_pos(4, 40), 0);
    EXPECT_EQ(cncl_set_progress_pos(5, 41), 8);
    ASSERT_EQ(cncl_delete_cancel_dialog(), 1);
    ASSERT_EQ(Show(), 1);
    EXPECT_EQ(cncl_set_progress_pos(0, 41), 0);  // the new dialog is not told
    EXPECT_EQ(Calls().positions, (std::vector<std::pair<int, int>>{{4, 40}, {5, 41}}));
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(AssertTexts().empty());

    cncl::ResetDialogStateForTests();
    RegisterCallbacks();
    ASSERT_EQ(Show(), 1);
    EXPECT_EQ(cncl_set_progress_pos(0, -1), 0);  // logged, but equal to the initial value
    EXPECT_EQ(PercentageLog().size(), 1u);
}

TEST_F(InProcessDialog, PercentagesAbove100AreLoggedAndPassedOn) {
    RegisterCallbacks();
    ASSERT_EQ(Show(), 1);
    EXPECT_EQ(cncl_set_progress_pos(1, 101), 8);
    EXPECT_EQ(cncl_set_progress_pos(1, -5), 8);
    EXPECT_EQ(cncl_set_progress_pos(1, 100), 8);
    EXPECT_EQ(cncl_set_progress_pos(1, 0), 8);
    EXPECT_EQ(Calls().positions,
              (std::vector<std::pair<int, int>>{{1, 101}, {1, -5}, {1, 100}, {1, 0}}));
    EXPECT_EQ(PercentageLog(),
              (std::vector<std::pair<int, std::string>>{{1, "Invalid progress percentage: 101\n"},
                                                        {1, "Invalid progress percentage: -5\n"}}));
    const std::string text =
        "\"libcancel-cncl_set_progress_pos\" && PercentCompleted >= 0 && PercentCompleted <= 100";
    EXPECT_EQ(AssertTexts(), (std::vector<std::string>{text, text}));
}

TEST_F(InProcessDialog, ProgressTextsAreTranslated) {
    RegisterCallbacks();
    EXPECT_EQ(cncl_set_progress_text(1, "p1"), 0);  // no dialog
    ASSERT_EQ(Show(), 1);
    EXPECT_EQ(cncl_set_progress_text(1, "p1"), 7);
    EXPECT_EQ(cncl_set_progress_text(2, nullptr), 7);
    EXPECT_EQ(cncl_set_progress_text(3, "unknown"), 7);
    EXPECT_EQ(Calls().texts,
              (std::vector<std::pair<int, Text>>{{1, Text("Step 1")}, {2, Text()}, {3, Text()}}));
    EXPECT_TRUE(AssertTexts().empty());
}

using InProcessDialogWithoutTranslation = DialogTest;

TEST_F(InProcessDialogWithoutTranslation, ProgressTextIsReportedAndPassedAsNull) {
    RegisterCallbacks();
    ASSERT_EQ(cncl_display_cancel_dialog(nullptr, "msg", "title", "button", nullptr, nullptr), 1);
    EXPECT_EQ(Calls().displays[0].caption, Text(""));
    EXPECT_EQ(cncl_set_progress_text(9, "p1"), 7);
    EXPECT_EQ(Calls().texts, (std::vector<std::pair<int, Text>>{{9, Text()}}));
    EXPECT_EQ(AssertTexts(), std::vector<std::string>{"s_GetTranslationCB"});
}

}  // namespace
