// The load loop of qm_bench. Identification is done synchronously before the clock
// starts; then every connection is non-blocking and one epoll loop turns each complete
// reply into the connection's next request.
#include "client/bench_load.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "protocol/cdb_request.h"
#include "wirelay/frame.h"

namespace qm {
namespace {

using clock_type = std::chrono::steady_clock;
constexpr size_t kRequestFrame = wrl::kHeaderSize + CDB_REQUEST_SIZE;

struct bench_connection {
    int fd = -1;
    std::string name;
    int32_t object_id = 0;
    unsigned step = 0;  // position in the mix
    uint8_t request[kRequestFrame];
    size_t sent = 0;
    std::vector<uint8_t> in;
    bool acknowledged = false;
    clock_type::time_point started;
    ~bench_connection() {
        if (fd >= 0) ::close(fd);
    }
};

int connect_to(const std::string& host, int port, int timeout_ms, std::string* error) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
        *error = "cannot resolve " + host + ": " + ::gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    std::string last = "no address";
    for (addrinfo* a = list; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            last = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    if (fd < 0) {
        *error = "cannot connect to " + host + "," + service + ": " + last;
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool read_exact(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return false;
        }
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool write_all(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put <= 0) {
            if (put < 0 && errno == EINTR) continue;
            return false;
        }
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

bool identify(bench_connection& c, std::string* error) {
    wrl::FrameHeader header;
    header.kind = wrl::kKindIdentify;
    wrl::CopyName(header.from, c.name.c_str());
    uint8_t frame[wrl::kHeaderSize];
    wrl::EncodeHeader(header, frame);
    uint8_t reply[wrl::kHeaderSize];
    if (!write_all(c.fd, frame, sizeof frame) || !read_exact(c.fd, reply, wrl::kPrefixSize)) {
        *error = "identify of " + c.name + " got no answer";
        return false;
    }
    wrl::FrameHeader answer;
    wrl::DecodePrefix(reply, &answer);
    if (!wrl::IsShortStatus(answer.status) &&
        !read_exact(c.fd, reply + wrl::kPrefixSize, wrl::kNamesSize)) {
        *error = "identify reply of " + c.name + " cut short";
        return false;
    }
    if (answer.status != 0 || answer.length != 0) {
        *error = "identify of " + c.name + " refused with status " + std::to_string(answer.status);
        return false;
    }
    return true;
}

// Fills the connection's request frame with the next request of the mix.
void prepare_request(bench_connection& c, bench_mix mix) {
    static constexpr uint32_t kMixed[] = {CDB_TEST_CONNECTION, CDB_LOCK_OBJECT, CDB_UNLOCK_OBJECT,
                                          CDB_GET_GA_ID};
    uint32_t query = CDB_TEST_CONNECTION;
    switch (mix) {
        case bench_mix::test_connection:
            query = CDB_TEST_CONNECTION;
            break;
        case bench_mix::lock_unlock:
            query = (c.step % 2 == 0) ? CDB_LOCK_OBJECT : CDB_UNLOCK_OBJECT;
            break;
        case bench_mix::id_allocation:
            query = CDB_GET_GA_ID;
            break;
        case bench_mix::mixed:
            query = kMixed[c.step % 4];
            break;
    }
    ++c.step;
    cdb_request request{};
    request.query = query;
    std::strcpy(request.model_name, "bench");
    if (query == CDB_GET_GA_ID) {
        common_model_row counters{};
        std::strcpy(counters.name, "bench");
        cdb_set_body_row(request, counters);
    } else {
        cdb_set_body_object_id(request, c.object_id);
    }
    std::memcpy(c.request + wrl::kHeaderSize, &request, sizeof request);
    c.sent = 0;
    c.acknowledged = false;
}

}  // namespace

bool parse_bench_mix(const std::string& text, bench_mix* mix) {
    if (text == "test")
        *mix = bench_mix::test_connection;
    else if (text == "lock")
        *mix = bench_mix::lock_unlock;
    else if (text == "id")
        *mix = bench_mix::id_allocation;
    else if (text == "mixed")
        *mix = bench_mix::mixed;
    else
        return false;
    return true;
}

const char* bench_mix_name(bench_mix mix) {
    switch (mix) {
        case bench_mix::test_connection:
            return "test";
        case bench_mix::lock_unlock:
            return "lock";
        case bench_mix::id_allocation:
            return "id";
        case bench_mix::mixed:
            return "mixed";
    }
    return "?";
}

bool run_bench(const bench_config& config, bench_result* result, std::string* error) {
    *result = bench_result{};
    if (config.connections < 1 || config.connections > 4096) {
        *error = "the number of connections must be 1 to 4096";
        return false;
    }
    std::vector<std::unique_ptr<bench_connection>> connections;
    const std::string prefix = "bench" + std::to_string(::getpid()) + "-";
    for (int i = 0; i < config.connections; ++i) {
        auto c = std::make_unique<bench_connection>();
        c->name = prefix + std::to_string(i);
        c->object_id = 1000 + i;
        c->fd = connect_to(config.host, config.port, config.timeout_ms, error);
        if (c->fd < 0 || !identify(*c, error)) return false;
        wrl::FrameHeader header;
        wrl::CopyName(header.to, c->name.c_str());
        wrl::CopyName(header.from, c->name.c_str());
        header.length = CDB_REQUEST_SIZE;
        wrl::EncodeHeader(header, c->request);
        ::fcntl(c->fd, F_SETFL, ::fcntl(c->fd, F_GETFL) | O_NONBLOCK);
        connections.push_back(std::move(c));
    }
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) {
        *error = std::string("epoll: ") + std::strerror(errno);
        return false;
    }
    std::vector<uint32_t> latencies_ns;
    latencies_ns.reserve(1 << 20);
    const auto begin = clock_type::now();
    const auto measure_from = begin + std::chrono::duration_cast<clock_type::duration>(
                                          std::chrono::duration<double>(config.warmup_s));
    const auto end = measure_from + std::chrono::duration_cast<clock_type::duration>(
                                        std::chrono::duration<double>(config.duration_s));
    bool ok = true;
    // Sends (the rest of) the current request; false on a broken connection.
    auto send_pending = [&](bench_connection& c) {
        while (c.sent < kRequestFrame) {
            const ssize_t n =
                ::send(c.fd, c.request + c.sent, kRequestFrame - c.sent, MSG_NOSIGNAL);
            if (n < 0) return errno == EAGAIN || errno == EINTR;
            c.sent += static_cast<size_t>(n);
        }
        return true;
    };
    for (auto& c : connections) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.ptr = c.get();
        ::epoll_ctl(ep, EPOLL_CTL_ADD, c->fd, &ev);
        prepare_request(*c, config.mix);
        c->started = clock_type::now();
        if (!send_pending(*c)) ok = false;
    }
    auto last_progress = clock_type::now();
    uint8_t buffer[16384];
    epoll_event events[256];
    while (ok) {
        const auto now = clock_type::now();
        if (now >= end) break;
        if (now - last_progress > std::chrono::milliseconds(config.timeout_ms)) {
            *error = "the server stopped answering";
            ok = false;
            break;
        }
        const int n = ::epoll_wait(ep, events, 256, 100);
        if (n < 0 && errno != EINTR) {
            *error = std::string("epoll: ") + std::strerror(errno);
            ok = false;
        }
        for (int i = 0; ok && i < n; ++i) {
            auto& c = *static_cast<bench_connection*>(events[i].data.ptr);
            if (c.sent < kRequestFrame && !send_pending(c)) {
                *error = c.name + ": connection broken";
                ok = false;
                break;
            }
            const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                *error = c.name + ": connection closed by the server";
                ok = false;
                break;
            }
            if (got < 0) continue;
            c.in.insert(c.in.end(), buffer, buffer + got);
            size_t at = 0;
            while (ok && c.in.size() - at >= wrl::kPrefixSize) {
                wrl::FrameHeader header;
                wrl::DecodePrefix(c.in.data() + at, &header);
                if (wrl::IsShortStatus(header.status) || header.length > wrl::WRL_MAX_PAYLOAD) {
                    *error = c.name + ": unexpected frame from the server";
                    ok = false;
                    break;
                }
                const size_t size = wrl::kHeaderSize + header.length;
                if (c.in.size() - at < size) break;
                at += size;
                bool done = false;
                if (header.kind == wrl::kKindAcknowledge) {
                    c.acknowledged = true;
                    if (header.status != 0) {  // no reply follows
                        ++result->rejected;
                        done = true;
                    }
                } else if (c.acknowledged) {
                    done = true;
                }
                if (!done) continue;
                const auto finished = clock_type::now();
                last_progress = finished;
                if (c.started >= measure_from && finished <= end) {
                    ++result->requests;
                    latencies_ns.push_back(static_cast<uint32_t>(std::min<int64_t>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(finished - c.started)
                            .count(),
                        UINT32_MAX)));
                }
                prepare_request(c, config.mix);
                c.started = clock_type::now();
                if (!send_pending(c)) {
                    *error = c.name + ": connection broken";
                    ok = false;
                }
            }
            c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    ::close(ep);
    if (!ok) return false;
    result->seconds = config.duration_s;
    result->requests_per_second = static_cast<double>(result->requests) / config.duration_s;
    if (!latencies_ns.empty()) {
        auto percentile = [&](double p) {
            const size_t k =
                std::min(latencies_ns.size() - 1,
                         static_cast<size_t>(p * static_cast<double>(latencies_ns.size())));
            std::nth_element(latencies_ns.begin(),
                             latencies_ns.begin() + static_cast<std::ptrdiff_t>(k),
                             latencies_ns.end());
            return latencies_ns[k] / 1000.0;
        };
        result->p50_us = percentile(0.50);
        result->p99_us = percentile(0.99);
    }
    return true;
}

}  // namespace qm
