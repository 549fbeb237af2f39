// The wrapped interface table of the message server's listening endpoint and the peer
// lookup of its clients' sockets.
#include "wirelay/message_server_peer.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/io_interfaces.h"
#include "wirelay/message_server_registry.h"

namespace wrl {
namespace {

constexpr int kMaxWrapped = 8;

struct wrapped_table {
    io_interface_s entries[kMaxWrapped + 1] = {};
    // The original queue step of each entry, found again by the connection's type.
    int (*queue[kMaxWrapped])(void*, io_conn_s*, io_request_s*) = {};
    int count = 0;
};

wrapped_table& table() {
    static wrapped_table t;
    return t;
}

int NotingQueue(void* context, io_conn_s* conn, io_request_s* req) {
    const wrapped_table& t = table();
    int (*original)(void*, io_conn_s*, io_request_s*) = nullptr;
    for (int i = 0; i < t.count && original == nullptr; ++i)
        if (t.entries[i].type == conn->iface->type) original = t.queue[i];
    if (original == nullptr) return IO_EFAIL;
    // Every read the message server queues on its own core carries its Client record.
    if (req->kind == IO_READ && req->user != nullptr) {
        Client* c = static_cast<Client*>(req->user);
        if (c->socket < 0) c->socket = conn->handle;
    }
    return original(context, conn, req);
}

const wrapped_table& Build() {
    wrapped_table& t = table();
    const io_interface_s* builtin = io_builtin_interfaces();
    for (int i = 0; builtin[i].type != IO_IF_END && t.count < kMaxWrapped; ++i) {
        t.entries[t.count] = builtin[i];
        t.queue[t.count] = builtin[i].queue;
        t.entries[t.count].queue = NotingQueue;
        ++t.count;
    }
    return t;
}

}  // namespace

const io_interface_s* PeerNotingInterfaces() {
    static const wrapped_table& built = Build();
    return built.entries;
}

bool PeerAddressOf(int socket, int* family, uint8_t address[16]) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (socket < 0 || ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return false;
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        *family = 4;
        std::memcpy(address, &v4->sin_addr, 4);
        return true;
    }
    if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            *family = 4;
            std::memcpy(address, v6->sin6_addr.s6_addr + 12, 4);
        } else {
            *family = 6;
            std::memcpy(address, v6->sin6_addr.s6_addr, 16);
        }
        return true;
    }
    return false;
}

}  // namespace wrl
