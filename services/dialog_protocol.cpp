// Encoding and parsing of the dialog program's command line.
#include "services/dialog_protocol.h"

#include <charconv>
#include <climits>

namespace cncl {

namespace {

// Length of the well-formed UTF-8 character starting at text[i], or 0 when none starts
// there (a lone continuation byte, a bad lead byte or a cut sequence).
size_t Utf8CharLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A text word: empty, or `prefix` followed by the text. Sets `text` to the decoded text.
bool TakeText(std::string_view word, std::string_view prefix, std::string* text) {
    if (word.empty()) {
        text->clear();
        return true;
    }
    if (!word.starts_with(prefix)) return false;
    *text = DecodeBlanks(word.substr(prefix.size()));
    return true;
}

template <typename Number>
bool TakeNumber(std::string_view digits, int base, Number* value) {
    if (digits.empty()) return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), *value, base);
    return ec == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

std::string EncodeBlanks(std::string_view text) {
    std::string word(text);
    for (char& c : word) {
        if (c == ' ') c = kBlankStandIn;
    }
    return word;
}

std::string DecodeBlanks(std::string_view word) {
    std::string text;
    text.reserve(word.size());
    for (size_t i = 0; i < word.size();) {
        size_t length = Utf8CharLength(word, i);
        if (length == 0) {
            text += word[i] == kBlankStandIn ? ' ' : word[i];
            ++i;
        } else {
            text.append(word.substr(i, length));
            i += length;
        }
    }
    return text;
}

std::string CutText(std::string_view text, size_t max_bytes) {
    if (text.size() <= max_bytes) return std::string(text);
    size_t end = max_bytes;
    // Back off over continuation bytes to the start of the character that was cut.
    while (end > 0 && IsContinuation(text[end])) --end;
    return std::string(text.substr(0, end));
}

bool ParseDialogCommandLine(int argc, const char* const* argv, DialogCommandLine* out,
                            std::string* error) {
    auto fail = [error](std::string reason) {
        if (error != nullptr) *error = std::move(reason);
        return false;
    };
    if (argv == nullptr || out == nullptr) return fail("no command line");
    if (argc != kDialogWordCount - 1 && argc != kDialogWordCount) {
        return fail("expected 10 or 11 arguments, got " + std::to_string(argc < 1 ? 0 : argc - 1));
    }
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr) return fail("missing argument " + std::to_string(i));
    }
    DialogCommandLine line;

    std::string_view address = argv[kWordAddress];
    if (!address.starts_with(kAddressPrefix)) return fail("argument 3 must be ADDR=<address>");
    address.remove_prefix(kAddressPrefix.size());
    if (address.starts_with("0x") || address.starts_with("0X")) address.remove_prefix(2);
    if (!TakeNumber(address, 16, &line.flag_address) || line.flag_address == 0 ||
        line.flag_address % 4 != 0) {
        return fail("bad flag address in '" + std::string(argv[kWordAddress]) + "'");
    }

    std::string_view sleep = argv[kWordSleep];
    if (!sleep.starts_with(kSleepPrefix) ||
        !TakeNumber(sleep.substr(kSleepPrefix.size()), 10, &line.sleep_ms)) {
        return fail("argument 4 must be SLEEP=<milliseconds>");
    }
    if (line.sleep_ms < 0) line.sleep_ms = 0;

    if (!TakeText(argv[kWordMessage], kMessagePrefix, &line.message)) {
        return fail("argument 5 must be MSG=<text> or empty");
    }

    std::string_view caption = argv[kWordCaption];
    if (caption.starts_with(kTitlePrefix)) {
        line.caption = DecodeBlanks(caption.substr(kTitlePrefix.size()));
    } else if (size_t at = caption.find(std::string(kCaptionSeparator) + std::string(kTitlePrefix));
               at != std::string_view::npos) {
        line.caption =
            DecodeBlanks(caption.substr(0, at + kCaptionSeparator.size())) +
            DecodeBlanks(caption.substr(at + kCaptionSeparator.size() + kTitlePrefix.size()));
    } else {
        return fail("argument 6 must be TITLE=<text> or <name> - TITLE=<text>");
    }

    if (!TakeText(argv[kWordButton], kButtonPrefix, &line.button)) {
        return fail("argument 7 must be BTNTXT=<text> or empty");
    }
    std::string* entries[] = {&line.canceling, &line.please_wait, &line.running_dots};
    for (int k = 0; k < 3; ++k) {
        const std::string prefix = "ENT" + std::to_string(k + 1) + "=";
        if (!TakeText(argv[kWordEntry1 + k], prefix, entries[k])) {
            return fail("argument " + std::to_string(kWordEntry1 + k) + " must be " + prefix +
                        "<text> or empty");
        }
    }

    if (argc == kDialogWordCount) {
        std::string_view pid = argv[kWordPid];
        if (!pid.starts_with(kPidPrefix) ||
            !TakeNumber(pid.substr(kPidPrefix.size()), 10, &line.application_pid) ||
            line.application_pid <= 0 || line.application_pid > INT_MAX) {
            return fail("argument 11 must be PID=<process id>");
        }
    }
    *out = std::move(line);
    return true;
}

}  // namespace cncl
