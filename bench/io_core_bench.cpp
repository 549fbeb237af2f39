// One client request costs the message server three reads (header, names, payload) and two
// writes (acknowledgement, reply). This measures that cycle served through the I/O core and
// its socket thread, against the same byte exchange served by a thread that blocks in
// recv/send on the socket directly (the baseline: no core, no hand-over).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "port/socket.h"
#include "wirelay/io_core.h"
#include "wirelay/io_tcpip.h"

namespace {

constexpr uint32_t kHeader = 24;
constexpr uint32_t kNames = 64;
constexpr uint32_t kPayload = 352;
constexpr uint32_t kAck = 88;
constexpr uint32_t kReply = 88 + kPayload;
constexpr uint32_t kRequest = kHeader + kNames + kPayload;

int ConnectTo(int port) {
    std::vector<port::ResolvedAddress> found;
    if (port::ResolveStream("127.0.0.1", port, false, &found) != 0 || found.empty()) return -1;
    int fd = port::SocketCreate(found[0]);
    if (fd < 0 || !port::SocketConnect(fd, found[0])) return -1;
    port::SetTcpNoDelay(fd);
    return fd;
}

bool RecvAll(int fd, char* p, uint32_t n) {
    while (n > 0) {
        int64_t got = port::SocketRecv(fd, p, n);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<uint32_t>(got);
    }
    return true;
}

bool SendAll(int fd, const char* p, uint32_t n) {
    while (n > 0) {
        int64_t put = port::SocketSend(fd, p, n);
        if (put <= 0) return false;
        p += put;
        n -= static_cast<uint32_t>(put);
    }
    return true;
}

// The client side of one request: send it whole, read acknowledgement and reply.
bool ClientCycle(int fd, char* out, char* in) {
    return SendAll(fd, out, kRequest) && RecvAll(fd, in, kAck + kReply);
}

// Serves requests through the I/O core like the message server's loop: one read and one
// write request on the connection, whatever completes first is collected.
void CoreServer(io_core_s* core, io_conn_s* listener, std::atomic<bool>* stop) {
    io_request_s* acc = nullptr;
    io_request_s* rd = nullptr;
    io_request_s* wr = nullptr;
    io_createrequest(&acc);
    io_createrequest(&rd);
    io_createrequest(&wr);
    acc->kind = IO_ACCEPT;
    io_queue(listener, acc);
    io_conn_s* conn = nullptr;
    std::vector<char> header(kHeader), names(kNames), payload(kPayload), ack(kAck), reply(kReply);
    int read_stage = 0;
    bool ack_sent = false;
    auto queue = [&](io_request_s* r, uint32_t kind, char* buf, uint32_t len) {
        r->kind = kind;
        r->buffer = buf;
        r->length = len;
        io_queue(conn, r);
    };
    while (!stop->load(std::memory_order_relaxed)) {
        if (io_wait(core, 100000) != IO_OK) continue;
        io_request_s* r = nullptr;
        if (io_getrequest(core, &r) != IO_OK) continue;
        if (r->result != IO_OK) break;
        if (r == acc) {
            conn = static_cast<io_conn_s*>(acc->buffer);
            queue(rd, IO_READ, header.data(), kHeader);
        } else if (r == rd) {
            if (read_stage == 0) {
                read_stage = 1;
                queue(rd, IO_READ, names.data(), kNames);
            } else if (read_stage == 1) {
                read_stage = 2;
                queue(rd, IO_READ, payload.data(), kPayload);
            } else {
                read_stage = 0;
                queue(rd, IO_READ, header.data(),
                      kHeader);  // next header first, as the server does
                std::memcpy(reply.data() + 88, payload.data(), kPayload);
                ack_sent = false;
                queue(wr, IO_WRITE, ack.data(), kAck);
            }
        } else if (r == wr && !ack_sent) {
            ack_sent = true;
            queue(wr, IO_WRITE, reply.data(), kReply);
        }
    }
    io_term(core);
    io_freerequest(acc);
    io_freerequest(rd);
    io_freerequest(wr);
}

void BM_RequestCycle_IoCore(benchmark::State& state) {
    io_core_s* core = nullptr;
    io_init(&core);
    io_tcpip_addr_s any{};
    io_conn_s* listener = nullptr;
    if (io_open(IO_PASSIVE, core, IO_IF_TCPIP, &any, &listener) != IO_OK) {
        state.SkipWithError("listen failed");
        io_term(core);
        return;
    }
    std::atomic<bool> stop{false};
    std::thread server(CoreServer, core, listener, &stop);
    int fd = ConnectTo(io_tcpip_localport(listener));
    std::vector<char> out(kRequest, 'q'), in(kAck + kReply);
    for (auto _ : state) {
        if (!ClientCycle(fd, out.data(), in.data())) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    stop.store(true);
    port::SocketClose(fd);
    server.join();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestCycle_IoCore)->UseRealTime();

// Baseline: a thread that blocks in recv/send on the accepted socket.
void BM_RequestCycle_BlockingThread(benchmark::State& state) {
    std::vector<port::ResolvedAddress> found;
    port::ResolveStream("127.0.0.1", 0, true, &found);
    int lfd = port::SocketCreate(found[0]);
    port::SocketBind(lfd, found[0]);
    port::SocketListen(lfd, 4);
    const int port = port::SocketLocalPort(lfd);
    std::thread server([lfd] {
        int fd = -1;
        while (fd < 0) fd = port::SocketAccept(lfd);
        // Accepted sockets come non-blocking; the baseline blocks like a plain server.
        port::SetBlocking(fd);
        port::SetTcpNoDelay(fd);
        std::vector<char> header(kHeader), names(kNames), payload(kPayload), ack(kAck),
            reply(kReply);
        for (;;) {
            if (!RecvAll(fd, header.data(), kHeader) || !RecvAll(fd, names.data(), kNames) ||
                !RecvAll(fd, payload.data(), kPayload)) {
                break;
            }
            std::memcpy(reply.data() + 88, payload.data(), kPayload);
            if (!SendAll(fd, ack.data(), kAck) || !SendAll(fd, reply.data(), kReply)) break;
        }
        port::SocketClose(fd);
    });
    int fd = ConnectTo(port);
    std::vector<char> out(kRequest, 'q'), in(kAck + kReply);
    for (auto _ : state) {
        if (!ClientCycle(fd, out.data(), in.data())) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    port::SocketClose(fd);
    server.join();
    port::SocketClose(lfd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestCycle_BlockingThread)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
