// Set-up of the dialog client: the library-wide state, the registrations and the text
// entry rule that both kinds of dialog use.
#include <cstring>
#include <new>

#include "outside/assert_log.h"
#include "services/dialog_internal.h"
#include "services/dialog_protocol.h"

namespace cncl {

DialogState& State() {
    static DialogState state;
    return state;
}

std::optional<std::string> EntryText(const char* key) {
    if (key == nullptr) return std::nullopt;
    const DialogState& state = State();
    if (key[0] == '\0' || state.translate == nullptr) return std::string();
    const char* translated = state.translate(key);
    if (translated == nullptr) return std::string();
    return CutText(translated, kMaxTextBytes);
}

}  // namespace cncl

using cncl::State;

extern "C" {

int cncl_initialize_cancel_library(const char* application_name) {
    try {
        State().application_name =
            cncl::CutText(application_name == nullptr ? "" : application_name, cncl::kMaxTextBytes);
    } catch (const std::bad_alloc&) {
        State().application_name.clear();
    }
    return 1;
}

int cnclRegisterTranslationCB(cncl_translation_cb_t translate) {
    if (!mainCheckAssertion(translate != nullptr, "Result", cncl::kAssertSource, __LINE__)) {
        return 0;
    }
    State().translate = translate;
    return 1;
}

int cnclRegisterProgressDialogCallbacks(cncl_display_cb_t display, cncl_delete_cb_t remove,
                                        cncl_set_text_cb_t set_text,
                                        cncl_set_position_cb_t set_position,
                                        cncl_cancel_pressed_cb_t cancel_pressed) {
    const bool all = display != nullptr && remove != nullptr && set_text != nullptr &&
                     set_position != nullptr && cancel_pressed != nullptr;
    if (!mainCheckAssertion(all, "Result", cncl::kAssertSource, __LINE__)) return 0;
    cncl::DialogState& state = State();
    state.display = display;
    state.remove = remove;
    state.set_text = set_text;
    state.set_position = set_position;
    state.cancel_pressed = cancel_pressed;
    return 1;
}

void cnclEnableProgressDialog(int enable) {
    State().enabled = enable != 0;
}

int cnclSetProcessCreationData(const char* program, const char* first_argument,
                               const char* second_argument) {
    if (program == nullptr || first_argument == nullptr || second_argument == nullptr) return 0;
    // Refused rather than cut: a cut path names another program, a cut argument says
    // something else to it.
    if (std::strlen(program) > cncl::kMaxProgramBytes ||
        std::strlen(first_argument) > cncl::kMaxFirstArgumentBytes ||
        std::strlen(second_argument) > cncl::kMaxSecondArgumentBytes) {
        return 0;
    }
    try {
        std::string new_program = program, new_first = first_argument, new_second = second_argument;
        cncl::DialogState& state = State();
        state.program.swap(new_program);
        state.first_argument.swap(new_first);
        state.second_argument.swap(new_second);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

}  // extern "C"
