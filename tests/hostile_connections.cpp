// Hostile connections and process figures; see hostile_connections.h.
#include "tests/hostile_connections.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qm_hostile {
namespace {

std::string random_bytes(std::mt19937& random, size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random());
    return s;
}

// The rest of the line of /proc/<pid>/<file> that starts with `key`, or "".
std::string proc_line(pid_t pid, const char* file, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return line.substr(key.size());
    return "";
}

}  // namespace

int connect_to(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void close_socket(int fd, bool reset) {
    if (fd < 0) return;
    const linger l{1, 0};
    if (reset) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
}

long send_some(int fd, const void* data, size_t size) {
    const long n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : n;
}

long read_for(int fd, size_t want, int timeout_ms) {
    char buffer[4096];
    size_t got = 0;
    for (int waited = 0; got < want && waited <= timeout_ms; waited += 10) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        const long n = ::recv(fd, buffer, std::min(sizeof buffer, want - got), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return -1;
        got += static_cast<size_t>(std::max(n, 0L));
    }
    return static_cast<long>(got);
}

std::string frame_header(uint32_t kind, uint32_t length, const std::string& to,
                         const std::string& from) {
    std::string h(88, '\0');
    const uint32_t magic = 28004;
    h[0] = static_cast<char>(magic);
    h[1] = static_cast<char>(magic >> 8);
    h[2] = 18;  // version
    h[3] = static_cast<char>(kind);
    for (int i = 0; i < 4; ++i)
        h[8 + static_cast<size_t>(i)] = static_cast<char>(length >> (8 * i));
    std::memcpy(&h[24], to.data(), std::min<size_t>(to.size(), 32));
    std::memcpy(&h[56], from.data(), std::min<size_t>(from.size(), 32));
    return h;
}

void send_random_bytes(int port, std::mt19937& random) {
    const int fd = connect_to(port);
    if (fd < 0) return;
    std::string bytes = random_bytes(random, 1 + random() % 2048);
    if (random() % 2 == 0)  // gets the reader past its first checks
        bytes = frame_header(random() % 10, random() % 600, random_bytes(random, random() % 40),
                             random_bytes(random, random() % 40)) +
                bytes;
    send_some(fd, bytes.data(), bytes.size());
    char sink[512];
    (void)::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    close_socket(fd, random() % 3 == 0);
}

int stall_half_frame(int port, std::mt19937& random) {
    const int fd = connect_to(port);
    if (fd < 0) return -1;
    std::string bytes;
    switch (random() % 3) {
        case 0:
            bytes = frame_header(0, 352, "x", "y").substr(0, 1 + random() % 87);
            break;
        case 1:
            bytes = frame_header(0, 352, "nobody", "nobody") + random_bytes(random, random() % 352);
            break;
        default:
            bytes = frame_header(2, 0, "", "staller").substr(0, 24 + random() % 60);
            break;
    }
    send_some(fd, bytes.data(), bytes.size());
    return fd;
}

// Sends as much of `bytes` as the socket takes within about `rounds` ms; the bytes sent.
size_t send_for(int fd, const std::string& bytes, int rounds) {
    size_t done = 0;
    for (int round = 0; done < bytes.size() && round < rounds; ++round) {
        const long n = send_some(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) break;
        done += static_cast<size_t>(n);
        if (n == 0) ::usleep(1000);
    }
    return done;
}

int announce_payload(int port, uint32_t length, size_t sent) {
    const int fd = connect_to(port);
    if (fd >= 0)
        send_for(fd, frame_header(0, length, "nobody", "nobody") + std::string(sent, 'p'), 200);
    return fd;
}

int open_deaf(int port, const std::string& name, std::atomic<long>* sent) {
    const int fd = open_idle(port, name);
    if (fd < 0) return fd;
    std::string request(352, '\0');
    request[0] = 8;  // CDB_TEST_CONNECTION
    const std::string frame = frame_header(0, 352, name, name) + request;
    std::string burst;
    for (int i = 0; i < 64 * 100; ++i) burst += frame;
    *sent += static_cast<long>(send_for(fd, burst, 100) / frame.size());
    return fd;
}

int open_idle(int port, const std::string& name) {
    const int fd = connect_to(port);
    if (fd < 0 || name.empty()) return fd;
    const std::string identify = frame_header(2, 0, "", name);
    send_some(fd, identify.data(), identify.size());
    return fd;
}

long resident_kib(pid_t pid) {
    const std::string kib = proc_line(pid, "status", "VmRSS:");
    return kib.empty() ? -1 : std::stol(kib);
}

bool open_file_limits(pid_t pid, long* soft, long* hard) {
    std::istringstream fields(proc_line(pid, "limits", "Max open files"));
    std::string s, h;
    if (!(fields >> s >> h)) return false;
    *soft = s == "unlimited" ? -1 : std::stol(s);
    *hard = h == "unlimited" ? -1 : std::stol(h);
    return true;
}

long set_own_file_limit(long soft) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    limit.rlim_cur = limit.rlim_max != RLIM_INFINITY
                         ? std::min(static_cast<rlim_t>(soft), limit.rlim_max)
                         : static_cast<rlim_t>(soft);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 ? static_cast<long>(limit.rlim_cur) : -1;
}

}  // namespace qm_hostile
