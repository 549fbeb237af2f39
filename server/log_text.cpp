// The log line writers: each line is assembled in a buffer on the stack and handed to stdout
// with one call; a piece that does not fit goes out on its own, so no text is ever cut.
#include "server/log_text.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

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
                std::fwrite(s, 1, n, stdout);
                return *this;
            }
        }
        std::memcpy(buf_ + used_, s, n);
        used_ += n;
        return *this;
    }
    void flush() {
        if (used_ > 0) std::fwrite(buf_, 1, used_, stdout);
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
