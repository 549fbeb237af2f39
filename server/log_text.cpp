// The log line writers: each line is assembled in a buffer on the stack and handed to stdout
// with one call; a piece that does not fit goes out on its own, so no text is ever cut.
#include "server/log_text.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The held log: its text, and where each save placeholder goes (offset into `text`).
struct held_log {
    bool holding = false;
    std::string text;
    std::vector<std::pair<size_t, std::string>> saves;
};

held_log& held() {
    static held_log log;
    return log;
}

void write_out(const char* s, size_t n) {
    held_log& h = held();
    if (h.holding)
        h.text.append(s, n);
    else
        std::fwrite(s, 1, n, stdout);
}

class line_writer {
  public:
    ~line_writer() { flush(); }
    line_writer& text(const char* s) { return append(s, std::strlen(s)); }
    // A literal's length is known at compile time (a plain overload would lose to text()).
    template <size_t N>
    line_writer& literal(const char (&text)[N]) {
        return append(text, N - 1);
    }
    line_writer& number(int32_t v) {
        char digits[16];
        const auto r = std::to_chars(digits, digits + sizeof digits, v);
        return append(digits, static_cast<size_t>(r.ptr - digits));
    }

  private:
    line_writer& append(const char* s, size_t n) {
        if (n > sizeof buf_ - used_) {
            flush();
            if (n > sizeof buf_) {
                write_out(s, n);
                return *this;
            }
        }
        std::memcpy(buf_ + used_, s, n);
        used_ += n;
        return *this;
    }
    void flush() {
        if (used_ > 0) write_out(buf_, used_);
        used_ = 0;
    }
    char buf_[256];
    size_t used_ = 0;
};

}  // namespace

void log_line(const char* text) {
    line_writer().text(text).literal("\n");
}

void log_labelled(const char* label, const char* text) {
    line_writer().text(label).text(text).literal("\n");
}

void log_number(const char* label, int32_t value) {
    line_writer().text(label).number(value).literal("\n");
}

void log_received(const char* from, const char* to, int32_t priority, int32_t length) {
    line_writer()
        .literal("qm_server: received message from ")
        .text(from)
        .literal(" to ")
        .text(to)
        .literal(" prio ")
        .number(priority)
        .literal(" len ")
        .number(length)
        .literal("\n");
}

void log_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (!held().holding) {
        std::vfprintf(stdout, format, args);
        va_end(args);
        return;
    }
    char line[512];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof line) {
        write_out(line, static_cast<size_t>(n));
    } else if (n > 0) {
        std::string long_line(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(long_line.data(), long_line.size(), format, again);
        write_out(long_line.data(), static_cast<size_t>(n));
    }
    va_end(again);
    va_end(args);
}

void log_hold_save_line(const std::string& saved_line) {
    held_log& h = held();
    h.holding = true;
    h.saves.emplace_back(h.text.size(), saved_line);
}

bool log_holding() {
    return held().holding;
}

void log_release(bool saved, const std::string& file) {
    held_log& h = held();
    if (!h.holding) return;
    h.holding = false;
    const std::string failed = "Write failed: " + file + "\n";
    size_t from = 0;
    for (const auto& [at, line] : h.saves) {
        std::fwrite(h.text.data() + from, 1, at - from, stdout);
        if (saved) {
            std::fwrite(line.data(), 1, line.size(), stdout);
        } else {
            std::fwrite(failed.data(), 1, failed.size(), stdout);
            std::fwrite(failed.data(), 1, failed.size(), stdout);
        }
        from = at;
    }
    std::fwrite(h.text.data() + from, 1, h.text.size() - from, stdout);
    h.text.clear();
    h.saves.clear();
    // A burst can be long; its buffer is not kept beyond a modest size.
    if (h.text.capacity() > (size_t{1} << 20)) std::string().swap(h.text);
}
