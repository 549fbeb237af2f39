// Serial ports over termios. The exclusive open uses both flock, which binds every
// cooperating opener including root, and TIOCEXCL, which the terminal driver enforces for
// other programs.
#include "port/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace port {
namespace {

struct SpeedEntry {
    uint32_t baud;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedCode(uint32_t baud, speed_t* code) {
    for (const SpeedEntry& s : kSpeeds) {
        if (s.baud == baud) {
            *code = s.code;
            return true;
        }
    }
    return false;
}

tcflag_t SizeFlag(uint32_t byte_size) {
    switch (byte_size) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

SerialCheck SerialCheckSettings(const SerialSettings& settings) {
    speed_t code;
    if (!SpeedCode(settings.baud, &code)) return SerialCheck::kBadSpeed;
    if (settings.byte_size < 5 || settings.byte_size > 8) return SerialCheck::kBadByteSize;
    if (settings.stop_bits != 1 && settings.stop_bits != 2) return SerialCheck::kBadStopBits;
    return SerialCheck::kOk;
}

int SerialOpen(const char* path) {
    if (path == nullptr || *path == '\0') return -1;
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SerialConfigure(int fd, const SerialSettings& settings) {
    speed_t speed;
    if (SerialCheckSettings(settings) != SerialCheck::kOk || !SpeedCode(settings.baud, &speed)) {
        return false;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    // Odd without parity on means nothing, and some drivers refuse it.
    const tcflag_t old_parity = (t.c_cflag & PARENB) != 0 ? t.c_cflag & (PARENB | PARODD) : 0;
    const tcflag_t old_input_parity = t.c_iflag & INPCK;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag = (t.c_cflag & ~CSIZE) | SizeFlag(settings.byte_size);
    switch (settings.parity) {
        case 0:
            t.c_cflag &= ~(PARENB | PARODD);
            break;
        case 1:
            t.c_cflag = (t.c_cflag | PARENB) & ~PARODD;
            t.c_iflag |= INPCK;
            break;
        case 2:
            t.c_cflag |= PARENB | PARODD;
            t.c_iflag |= INPCK;
            break;
        default:  // keep what the port had
            t.c_cflag = (t.c_cflag & ~(PARENB | PARODD)) | old_parity;
            t.c_iflag |= old_input_parity;
            break;
    }
    if (settings.stop_bits == 2) {
        t.c_cflag |= CSTOPB;
    } else {
        t.c_cflag &= ~CSTOPB;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) return false;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

void SerialClose(int fd) {
    if (fd >= 0) ::close(fd);
}

int64_t SerialRead(int fd, void* buffer, size_t length) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, length);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int64_t SerialWrite(int fd, const void* buffer, size_t length) {
    for (;;) {
        const ssize_t n = ::write(fd, buffer, length);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int SerialWait(SerialWaitEntry* entries, size_t count, int timeout_ms) {
    std::vector<pollfd> fds(count);
    for (size_t i = 0; i < count; ++i) {
        fds[i].fd = entries[i].fd;
        fds[i].events = static_cast<short>((entries[i].want_read ? POLLIN : 0) |
                                           (entries[i].want_write ? POLLOUT : 0));
        fds[i].revents = 0;
    }
    const int n = ::poll(fds.data(), static_cast<nfds_t>(count), timeout_ms < 0 ? -1 : timeout_ms);
    if (n < 0 && errno != EINTR) return -1;
    int ready = 0;
    for (size_t i = 0; i < count; ++i) {
        const short r = n > 0 ? fds[i].revents : 0;
        entries[i].readable = (r & POLLIN) != 0;
        entries[i].writable = (r & POLLOUT) != 0;
        entries[i].hung_up = (r & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (r != 0) ++ready;
    }
    return ready;
}

bool OpenPseudoTerminal(int* controller, std::string* terminal_path) {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    char name[128];
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    *controller = fd;
    *terminal_path = name;
    return true;
}

}  // namespace port
