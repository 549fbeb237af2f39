// The in-process dialog: the application's own window driven through its five callbacks.
// At most one such dialog exists; the library builds its texts and caption.
#include <cstring>
#include <new>

#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "services/dialog_internal.h"
#include "services/dialog_protocol.h"

namespace {

using cncl::DialogState;
using cncl::State;

bool Displayed() {
    return State().in_process_dialog == 1;
}

// Builds the texts and caption and shows the dialog; may throw std::bad_alloc.
int Display(const char* message_key, const char* title_key, const char* button_key,
            const char* progress_text1_key, const char* progress_text2_key) {
    const bool button_hidden =
        button_key != nullptr && std::strcmp(button_key, cncl::kHiddenButtonKey) == 0;
    std::optional<std::string> message =
        cncl::EntryText(message_key != nullptr ? message_key : cncl::kDefaultMessageKey);
    std::optional<std::string> title =
        cncl::EntryText(title_key != nullptr ? title_key : cncl::kDefaultTitleKey);
    std::optional<std::string> button;
    if (!button_hidden) {
        button = cncl::EntryText(button_key != nullptr ? button_key : cncl::kDefaultButtonKey);
    }
    std::optional<std::string> progress_text1 = cncl::EntryText(progress_text1_key);
    std::optional<std::string> progress_text2 = cncl::EntryText(progress_text2_key);

    DialogState& state = State();
    std::string caption;
    if (!state.application_name.empty()) {
        caption = state.application_name;
        if (!button_hidden) caption += " - " + title.value_or("");
    } else {
        caption = title.value_or("");
    }
    caption = cncl::CutText(caption, cncl::kMaxTextBytes);

    state.message = std::move(message);
    state.title = std::move(title);
    state.button = std::move(button);
    state.progress_text1 = std::move(progress_text1);
    state.progress_text2 = std::move(progress_text2);

    if (Displayed()) return 1;
    if (!state.enabled || state.display == nullptr) return 0;

    const char* message_arg = state.message ? state.message->c_str() : "";
    const char* progress1_arg = state.progress_text1 ? state.progress_text1->c_str() : nullptr;
    const char* progress2_arg = state.progress_text2 ? state.progress_text2->c_str() : nullptr;
    const char* button_arg = state.button ? state.button->c_str() : "";
    if (state.progress_text1 && state.progress_text1->empty()) {
        progress1_arg = message_arg;
        message_arg = nullptr;
    }
    const int shown =
        state.display(caption.c_str(), message_arg, progress1_arg, progress2_arg, button_arg);
    state.in_process_dialog = shown != 0 ? 1 : -1;
    return Displayed() ? 1 : 0;
}

}  // namespace

extern "C" {

int cncl_display_cancel_dialog(void* /*ignored*/, const char* message_key, const char* title_key,
                               const char* button_key, const char* progress_text1_key,
                               const char* progress_text2_key) {
    try {
        return Display(message_key, title_key, button_key, progress_text1_key, progress_text2_key);
    } catch (const std::bad_alloc&) {
        return Displayed() ? 1 : 0;
    }
}

int cncl_delete_cancel_dialog(void) {
    DialogState& state = State();
    if (!Displayed()) return 0;
    // The dialog counts as gone whatever the callback says: a window that refused to close
    // cannot be driven any further by the library.
    state.in_process_dialog = -1;
    return state.remove != nullptr && state.remove() != 0 ? 1 : 0;
}

int cncl_cancel_dialog_displayed(void) {
    return Displayed() ? 1 : 0;
}

int cncl_cancel_pressed(void) {
    DialogState& state = State();
    if (!Displayed() || state.cancel_pressed == nullptr) return 0;
    return state.cancel_pressed();
}

int cncl_set_progress_pos(int selector, int percentage) {
    DialogState& state = State();
    const auto as_unsigned = static_cast<uint32_t>(percentage);
    if (as_unsigned > 100) {
        logPrintf(1, "Invalid progress percentage: %d\n", percentage);
        mainCheckAssertion(false,
                           "\"libcancel-cncl_set_progress_pos\" && PercentCompleted >= 0 && "
                           "PercentCompleted <= 100",
                           cncl::kAssertSource, __LINE__);
    }
    int result = 0;
    if (as_unsigned != state.last_percentage && Displayed() && state.set_position != nullptr) {
        result = state.set_position(selector, percentage);
    }
    state.last_percentage = as_unsigned;
    return result;
}

int cncl_set_progress_text(int selector, const char* key) {
    DialogState& state = State();
    if (!Displayed() || state.set_text == nullptr) return 0;
    if (!mainCheckAssertion(state.translate != nullptr, "s_GetTranslationCB", cncl::kAssertSource,
                            __LINE__)) {
        return state.set_text(selector, nullptr);
    }
    if (key == nullptr) return state.set_text(selector, nullptr);
    // The callback's own text is handed over as it is: the application decides how long a
    // text its window can show.
    return state.set_text(selector, state.translate(key));
}

}  // extern "C"
