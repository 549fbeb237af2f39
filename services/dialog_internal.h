// Internals of the dialog client shared by its source files and its tests: the library-wide
// state, the text-entry rule, the dialog-process records and the table of process calls
// that tests may replace. Not installed; the application sees services/dialog.h only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "port/process.h"
#include "services/dialog.h"

namespace cncl {

// Source name of the client's failed assertions.
inline constexpr const char* kAssertSource = "cancel_lib";

// Limits of the kept texts, in bytes.
inline constexpr size_t kMaxTextBytes = 255;
inline constexpr size_t kMaxProgramBytes = 1023;
inline constexpr size_t kMaxFirstArgumentBytes = 1023;
inline constexpr size_t kMaxSecondArgumentBytes = 19;

// How long a dialog program gets to finish after SIGTERM (and again after SIGKILL).
inline constexpr int kEndGraceMs = 2000;

inline constexpr const char* kDefaultMessageKey = "albl_Press_button_to_cancel_current_command_";
inline constexpr const char* kDefaultTitleKey = "albl_Cancel_title";
inline constexpr const char* kDefaultButtonKey = "albl_Cancel_button";
inline constexpr const char* kHiddenButtonKey = "cancel_button_hidden";

// One started dialog program. The program receives the record's address and writes the
// cancel flag there, so the flag is the first member and the record never moves.
struct DialogProcessRecord {
    std::atomic<uint32_t> cancel_flag{0};
    intptr_t handle = -1;
    DialogProcessRecord* next = nullptr;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

// The library-wide state (one per process).
struct DialogState {
    bool enabled = true;
    int64_t in_process_dialog = -1;  // 1 displayed, -1 none
    uint32_t last_percentage = UINT32_MAX;
    std::string application_name;
    cncl_translation_cb_t translate = nullptr;
    cncl_display_cb_t display = nullptr;
    cncl_delete_cb_t remove = nullptr;
    cncl_set_text_cb_t set_text = nullptr;
    cncl_set_position_cb_t set_position = nullptr;
    cncl_cancel_pressed_cb_t cancel_pressed = nullptr;
    std::string program;
    std::string first_argument;
    std::string second_argument;
    // The texts of the latest in-process display request.
    std::optional<std::string> message, title, button, progress_text1, progress_text2;
    DialogProcessRecord* processes = nullptr;  // newest first
};

DialogState& State();

// The text of the entry for `key`: absent for a null key, empty for an empty key or without
// translation callback (or when it returns null), else the translation cut to 255 bytes.
std::optional<std::string> EntryText(const char* key);

// The process calls of the out-of-process dialog. Tests replace entries to see what would
// be started or to make a call fail, and put the table back afterwards.
struct DialogProcessCalls {
    int64_t (*start)(const char* const* argv);
    PortProcessEnd (*end)(int64_t pid, int grace_ms);
    int (*allow_writes)();
};
DialogProcessCalls& ProcessCalls();
DialogProcessCalls RealProcessCalls();

// The number of dialog-process records in the list.
size_t ProcessRecordCount();

// Tests only: ends every dialog program still listed (records that cannot be ended are
// leaked on purpose, since their program may still write into them) and puts the whole
// state and the process calls back to the start.
void ResetDialogStateForTests();

}  // namespace cncl
