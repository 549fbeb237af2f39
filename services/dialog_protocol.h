// The command line shared by the dialog client and the dialog program qm_cancel_dialog:
// the word positions and prefixes, the blank stand-in byte 0xAD and the parsing of the
// words on the program's side. The words are described in services/dialog.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cncl {

// Positions of the words in the dialog program's argument vector.
enum DialogWord {
    kWordProgram = 0,
    kWordFirstArgument = 1,
    kWordSecondArgument = 2,
    kWordAddress = 3,
    kWordSleep = 4,
    kWordMessage = 5,
    kWordCaption = 6,
    kWordButton = 7,
    kWordEntry1 = 8,
    kWordEntry2 = 9,
    kWordEntry3 = 10,
    kWordPid = 11,
    kDialogWordCount = 12,
};

inline constexpr std::string_view kAddressPrefix = "ADDR=";
inline constexpr std::string_view kSleepPrefix = "SLEEP=";
inline constexpr std::string_view kMessagePrefix = "MSG=";
inline constexpr std::string_view kTitlePrefix = "TITLE=";
inline constexpr std::string_view kCaptionSeparator = " - ";
inline constexpr std::string_view kButtonPrefix = "BTNTXT=";
inline constexpr std::string_view kPidPrefix = "PID=";

// Replaces a blank inside a word so that the word survives a platform that joins the
// argument vector into one command line.
inline constexpr char kBlankStandIn = '\xAD';

// What the dialog program writes into the flag word when the user cancels.
inline constexpr uint32_t kCancelFlagValue = 1;

// `text` with every blank replaced by kBlankStandIn.
std::string EncodeBlanks(std::string_view text);

// `word` with every kBlankStandIn that does not belong to a well-formed UTF-8 character
// turned back into a blank ("\xC3\xAD", an i with an acute accent, stays as it is).
std::string DecodeBlanks(std::string_view word);

// `text` cut to at most `max_bytes` bytes, at the start of a UTF-8 character so that no
// character is left in pieces (for texts that are only shown).
std::string CutText(std::string_view text, size_t max_bytes);

// The dialog program's view of its command line, texts decoded for display.
struct DialogCommandLine {
    uint64_t flag_address = 0;    // non-zero, aligned to 4
    int64_t application_pid = 0;  // 0 when the PID word is absent
    int sleep_ms = 0;             // negative delays are taken as 0
    std::string message;
    std::string caption;  // "TITLE=" dropped, application name kept
    std::string button;   // empty: no button
    std::string canceling;
    std::string please_wait;
    std::string running_dots;
};

// Parses the dialog program's words argv[0 .. argc-1]: 11 words, or 12 with the PID word.
// Words 1 and 2 are the application's and are not looked at. A text word must carry its
// prefix or be empty; the address must be hexadecimal (with or without 0x), non-zero and
// aligned to 4; the delay and the process id decimal and in range.
// Returns false with a one-line reason in `error` when anything is wrong; `out` is then
// unchanged.
bool ParseDialogCommandLine(int argc, const char* const* argv, DialogCommandLine* out,
                            std::string* error);

}  // namespace cncl
