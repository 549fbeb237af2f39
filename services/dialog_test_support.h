// Shared pieces of the dialog client's tests: a translation table, callbacks that record
// their calls, and a fixture that starts every test from the library's initial state with
// the log and the assertion records captured.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "services/dialog.h"
#include "services/dialog_internal.h"

namespace dialog_test {

// The translations the tests register; a key missing here translates to null.
inline std::map<std::string, std::string>& Translations() {
    static std::map<std::string, std::string> table;
    return table;
}

inline const char* Translate(const char* key) {
    auto found = Translations().find(key);
    return found == Translations().end() ? nullptr : found->second.c_str();
}

// A text as a callback received it: nullopt for a null pointer.
using Text = std::optional<std::string>;
inline Text Copy(const char* text) {
    return text == nullptr ? Text() : Text(text);
}

struct DisplayCall {
    Text caption, message, progress_text1, progress_text2, button;
};

// What the recording callbacks saw, and what they answer.
struct Recorder {
    std::vector<DisplayCall> displays;
    int deletes = 0;
    std::vector<std::pair<int, Text>> texts;
    std::vector<std::pair<int, int>> positions;
    int cancel_polls = 0;
    int display_result = 1;
    int delete_result = 1;
    int set_text_result = 7;
    int set_position_result = 8;
    int cancel_result = 0;
};

inline Recorder& Calls() {
    static Recorder recorder;
    return recorder;
}

inline int RecordDisplay(const char* caption, const char* message, const char* progress_text1,
                         const char* progress_text2, const char* button) {
    Calls().displays.push_back(
        {Copy(caption), Copy(message), Copy(progress_text1), Copy(progress_text2), Copy(button)});
    return Calls().display_result;
}
inline int RecordDelete() {
    ++Calls().deletes;
    return Calls().delete_result;
}
inline int RecordSetText(int selector, const char* text) {
    Calls().texts.emplace_back(selector, Copy(text));
    return Calls().set_text_result;
}
inline int RecordSetPosition(int selector, int percentage) {
    Calls().positions.emplace_back(selector, percentage);
    return Calls().set_position_result;
}
inline int RecordCancelPressed() {
    ++Calls().cancel_polls;
    return Calls().cancel_result;
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cncl::ResetDialogStateForTests();
        Calls() = Recorder{};
        Translations().clear();
        mainResetAssertions();
        mainSetMaxAssertCount(0);  // recorded and counted, not reported on standard error
        setLogSink([this](int level, const char* text) { log_.emplace_back(level, text); });
    }
    void TearDown() override {
        setLogSink(nullptr);
        mainSetMaxAssertCount(kDefaultMaxAssertCount);
        mainResetAssertions();
        cncl::ResetDialogStateForTests();
    }
    void RegisterCallbacks() {
        ASSERT_EQ(cnclRegisterProgressDialogCallbacks(RecordDisplay, RecordDelete, RecordSetText,
                                                      RecordSetPosition, RecordCancelPressed),
                  1);
    }
    // The texts of the failed assertions recorded so far, all with source cancel_lib.
    std::vector<std::string> AssertTexts() const {
        std::vector<std::string> texts;
        for (const AssertRecord& record : mainGetAssertRecords()) {
            EXPECT_EQ(record.source_file, "cancel_lib");
            texts.push_back(record.condition_text);
        }
        return texts;
    }
    std::vector<std::pair<int, std::string>> log_;
};

}  // namespace dialog_test
