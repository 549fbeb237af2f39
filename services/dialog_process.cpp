// The out-of-process dialog: starting dialog programs, their records with the cancel flag
// they write, and ending them. A record is freed only once its program has been reaped,
// because until then the program may still write into it.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "services/dialog_internal.h"
#include "services/dialog_protocol.h"

namespace cncl {

namespace {

// The prefixed form of an entry: prefix and text with blanks replaced; empty when absent.
std::string PrefixedWord(std::string_view prefix, const std::optional<std::string>& text) {
    if (!text) return std::string();
    return EncodeBlanks(std::string(prefix) + *text);
}

// "ENT<n>=" and the translation of `key`; empty without translation callback.
std::string ExtraEntryWord(int number, const char* key) {
    if (State().translate == nullptr) return std::string();
    return PrefixedWord("ENT" + std::to_string(number) + "=", EntryText(key));
}

std::vector<std::string> DialogWords(const DialogProcessRecord& record, int delay_ms,
                                     const char* message_key, const char* title_key,
                                     const char* button_key) {
    const DialogState& state = State();
    const bool button_hidden =
        button_key != nullptr && std::string_view(button_key) == kHiddenButtonKey;
    std::vector<std::string> words(kDialogWordCount);
    words[kWordProgram] = state.program;
    words[kWordFirstArgument] = state.first_argument;
    words[kWordSecondArgument] = state.second_argument;
    char number[64];
    std::snprintf(number, sizeof(number), "ADDR=%p", static_cast<const void*>(&record));
    words[kWordAddress] = number;
    std::snprintf(number, sizeof(number), "SLEEP=%d", delay_ms);
    words[kWordSleep] = number;
    words[kWordMessage] = PrefixedWord(
        kMessagePrefix, EntryText(message_key != nullptr ? message_key : kDefaultMessageKey));
    std::string caption =
        PrefixedWord(kTitlePrefix, EntryText(title_key != nullptr ? title_key : kDefaultTitleKey));
    if (!state.application_name.empty()) {
        caption = state.application_name + std::string(kCaptionSeparator) + caption;
    }
    words[kWordCaption] = CutText(caption, kMaxTextBytes);
    if (!button_hidden) {
        words[kWordButton] = PrefixedWord(
            kButtonPrefix, EntryText(button_key != nullptr ? button_key : kDefaultButtonKey));
    }
    words[kWordEntry1] = ExtraEntryWord(1, "albl_Canceling___");
    words[kWordEntry2] = ExtraEntryWord(2, "albl_Please_wait_");
    words[kWordEntry3] = ExtraEntryWord(3, "albl_running_dots_15");
    words[kWordPid] = std::string(kPidPrefix) + std::to_string(port_process_id());
    return words;
}

// Unlinks `record` from the list; it must be listed.
void Unlink(DialogProcessRecord* record) {
    for (DialogProcessRecord** link = &State().processes; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            return;
        }
    }
}

DialogProcessRecord* Find(intptr_t handle) {
    if (handle == -1) return nullptr;
    for (DialogProcessRecord* record = State().processes; record != nullptr;
         record = record->next) {
        if (record->handle == handle) return record;
    }
    return nullptr;
}

intptr_t Start(DialogProcessRecord* record, int delay_ms, const char* message_key,
               const char* title_key, const char* button_key) {
    std::vector<std::string> words =
        DialogWords(*record, delay_ms, message_key, title_key, button_key);
    std::vector<const char*> argv;
    argv.reserve(words.size() + 1);
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);
    // A refusal here is not fatal: without the kernel's ptrace restriction the child may
    // write anyway, and with it the dialog program reports the refused write itself.
    ProcessCalls().allow_writes();
    const int64_t pid = ProcessCalls().start(argv.data());
    return pid > 0 ? static_cast<intptr_t>(pid) : -1;
}

}  // namespace

DialogProcessCalls RealProcessCalls() {
    return DialogProcessCalls{port_process_start, port_process_end,
                              port_process_allow_descendant_writes};
}

DialogProcessCalls& ProcessCalls() {
    static DialogProcessCalls calls = RealProcessCalls();
    return calls;
}

size_t ProcessRecordCount() {
    size_t count = 0;
    for (const DialogProcessRecord* record = State().processes; record != nullptr;
         record = record->next) {
        ++count;
    }
    return count;
}

void ResetDialogStateForTests() {
    ProcessCalls() = RealProcessCalls();
    DialogState& state = State();
    while (state.processes != nullptr) {
        DialogProcessRecord* record = state.processes;
        state.processes = record->next;
        if (port_process_end(record->handle, kEndGraceMs) != kPortProcessEndFailed) delete record;
    }
    state = DialogState{};
}

}  // namespace cncl

using cncl::DialogProcessRecord;

extern "C" {

intptr_t cncl_display_cancel_dialog_n(int delay_ms, const char* message_key, const char* title_key,
                                      const char* button_key) {
    auto* record = new (std::nothrow) DialogProcessRecord;
    if (record == nullptr) return -1;
    record->next = cncl::State().processes;
    cncl::State().processes = record;
    intptr_t handle = -1;
    try {
        handle = cncl::Start(record, delay_ms, message_key, title_key, button_key);
    } catch (const std::bad_alloc&) {
        handle = -1;
    }
    if (handle == -1) {
        // Nothing was started, so nothing can write into the record: forget it at once
        // instead of keeping a record that no handle can ever reach.
        cncl::Unlink(record);
        delete record;
        return -1;
    }
    record->handle = handle;
    return handle;
}

uint32_t cncl_cancel_pressed_n(intptr_t handle) {
    const DialogProcessRecord* record = cncl::Find(handle);
    return record == nullptr ? 0 : record->cancel_flag.load(std::memory_order_acquire);
}

int cncl_delete_cancel_dialog_n(intptr_t handle) {
    DialogProcessRecord* record = cncl::Find(handle);
    if (record == nullptr) return 0;
    if (cncl::ProcessCalls().end(record->handle, cncl::kEndGraceMs) == kPortProcessEndFailed) {
        // The program may still run and write into the record: keep it listed.
        return 0;
    }
    cncl::Unlink(record);
    delete record;
    return 1;
}

}  // extern "C"
