// wrl_serial_relay: sends message frames and a query from one serial endpoint to another
// and relays each frame back, to show the serial interface at work.
//   wrl_serial_relay [frames]                 two pseudo-terminal pairs joined like a
//                                             null-modem cable by a thread of this program
//   wrl_serial_relay [frames] ADDRESS ADDRESS two real ports joined by a cable, e.g.
//                                             serial:/dev/ttyUSB0,115200 serial:/dev/ttyUSB1,115200
// Prints one line per frame and query; exit status 0 when everything came back intact.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "port/serial.h"
#include "wirelay/endpoint.h"
#include "wirelay/frame.h"
#include "wirelay/query.h"
#include "wirelay/wrl_errors.h"

namespace {

// Copies bytes both ways between the controlling sides of two pseudo-terminals.
void Cable(int a, int b, const std::atomic<bool>* stop) {
    std::vector<uint8_t> ab, ba;
    uint8_t chunk[4096];
    while (!stop->load()) {
        port::SerialWaitEntry e[2] = {{a, ab.size() < 65536, !ba.empty(), false, false, false},
                                      {b, ba.size() < 65536, !ab.empty(), false, false, false}};
        if (port::SerialWait(e, 2, 20) < 0) return;
        for (int side = 0; side < 2; ++side) {
            const int from = side == 0 ? a : b;
            const int to = side == 0 ? b : a;
            std::vector<uint8_t>& pending = side == 0 ? ab : ba;
            if (e[side].readable) {
                const int64_t n = port::SerialRead(from, chunk, sizeof chunk);
                if (n > 0) pending.insert(pending.end(), chunk, chunk + n);
            }
            if (!pending.empty()) {
                const int64_t n = port::SerialWrite(to, pending.data(), pending.size());
                if (n > 0) pending.erase(pending.begin(), pending.begin() + n);
            }
        }
    }
}

bool WriteFrame(wrl_net* ep, uint32_t kind, const char* to, const char* from,
                const std::string& payload) {
    wrl::FrameHeader h;
    h.kind = kind;
    h.length = static_cast<uint32_t>(payload.size());
    wrl::CopyName(h.to, to);
    wrl::CopyName(h.from, from);
    std::vector<uint8_t> bytes(wrl::kHeaderSize + payload.size());
    wrl::EncodeHeader(h, bytes.data());
    std::memcpy(bytes.data() + wrl::kHeaderSize, payload.data(), payload.size());
    return wrl_net_write(ep, bytes.data(), static_cast<uint32_t>(bytes.size())) == WRL_OK;
}

bool ReadFrame(wrl_net* ep, wrl::FrameHeader* h, std::string* payload) {
    uint8_t head[wrl::kHeaderSize];
    if (wrl_net_read(ep, head, sizeof head, 5000) != WRL_OK) return false;
    wrl::DecodePrefix(head, h);
    wrl::DecodeNames(head + wrl::kPrefixSize, h);
    if (h->magic != wrl::kFrameMagic || h->length > wrl::WRL_MAX_PAYLOAD) return false;
    payload->assign(h->length, '\0');
    return h->length == 0 || wrl_net_read(ep, payload->data(), h->length, 5000) == WRL_OK;
}

// The far end: relays every frame back with the names swapped and the kind acknowledge,
// then takes one query and acknowledges it.
void Relay(wrl_net* ep, int frames, bool* ok) {
    for (int i = 0; i < frames; ++i) {
        wrl::FrameHeader h;
        std::string payload;
        if (!ReadFrame(ep, &h, &payload) ||
            !WriteFrame(ep, wrl::kKindAcknowledge, h.from, h.to, payload)) {
            return;
        }
    }
    wrl_query* q = nullptr;
    if (wrl_query_receive(ep, &q) != WRL_OK) return;
    const int ntoh = wrl_query_ntoh(q);
    uint32_t type = 0, table = 0, length = 0;
    const void* data = nullptr;
    while (ntoh == WRL_OK && wrl_query_nextitem(q, &type, &table, &data, &length) == WRL_OK) {
        std::printf("relay: query item \"%s\", %u bytes\n", wrl_query_typename(type), length);
    }
    *ok = ntoh == WRL_OK && wrl_query_ack(ep, q) == WRL_OK;
    wrl_query_free(q);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 5;
    if (frames < 0 || frames > 100000 || (argc != 1 && argc != 2 && argc != 4)) {
        std::fprintf(stderr, "usage: %s [frames] [ADDRESS ADDRESS]\n", argv[0]);
        return 2;
    }
    std::string address_a, address_b;
    int controllers[2] = {-1, -1};
    std::atomic<bool> stop{false};
    std::thread cable;
    if (argc == 4) {
        address_a = argv[2];
        address_b = argv[3];
    } else {
        std::string paths[2];
        for (int i = 0; i < 2; ++i) {
            if (!port::OpenPseudoTerminal(&controllers[i], &paths[i])) {
                std::fprintf(stderr, "cannot make a pseudo-terminal pair\n");
                return 1;
            }
        }
        address_a = "serial:" + paths[0] + ",115200";
        address_b = "serial:" + paths[1] + ",115200";
        cable = std::thread(Cable, controllers[0], controllers[1], &stop);
    }
    std::printf("sender on %s, relay on %s\n", address_a.c_str(), address_b.c_str());

    wrl_net* a = nullptr;
    wrl_net* b = nullptr;
    int rc = wrl_net_create(&a);
    if (rc == WRL_OK) rc = wrl_net_create(&b);
    if (rc == WRL_OK) rc = wrl_net_open(a, address_a.c_str());
    if (rc == WRL_OK) rc = wrl_net_open(b, address_b.c_str());
    bool relayed = false;
    bool intact = rc == WRL_OK;
    if (rc != WRL_OK) std::fprintf(stderr, "cannot open the ports: %s\n", wrl_strerror(rc));
    std::thread relay;
    if (intact) relay = std::thread(Relay, b, frames, &relayed);
    for (int i = 0; intact && i < frames; ++i) {
        const std::string payload = "frame " + std::to_string(i) + std::string(i * 37 % 300, '.');
        wrl::FrameHeader h;
        std::string back;
        intact = WriteFrame(a, wrl::kKindNormal, "relay", "sender", payload) &&
                 ReadFrame(a, &h, &back) && back == payload && h.kind == wrl::kKindAcknowledge &&
                 std::strcmp(h.to, "sender") == 0;
        std::printf("frame %d: %zu payload bytes %s\n", i, payload.size(),
                    intact ? "came back intact" : "was lost or changed");
    }
    if (intact) {
        wrl_query* q = nullptr;
        wrl_identify id{};
        id.value1 = 1;
        std::strncpy(id.name, "sender", sizeof id.name - 1);
        const uint32_t words[3] = {1, 2, 3};
        intact = wrl_query_create(&q) == WRL_OK &&
                 wrl_query_additem(q, WRL_QUERY_IDENTIFY, 0, &id) == WRL_OK &&
                 wrl_query_additem(q, WRL_QUERY_WORDS, 0, words) == WRL_OK &&
                 wrl_query_hton(q) == WRL_OK && wrl_query_send(a, q) == WRL_OK;
        wrl_query* ack = nullptr;
        intact = intact && wrl_query_receive(a, &ack) == WRL_OK && ack->kind == 1;
        std::printf("query: %s\n", intact ? "acknowledged" : "not acknowledged");
        wrl_query_free(ack);
        wrl_query_free(q);
    }
    if (relay.joinable()) relay.join();
    wrl_net_destroy(a);
    wrl_net_destroy(b);
    stop.store(true);
    if (cable.joinable()) cable.join();
    for (int fd : controllers) {
        if (fd >= 0) close(fd);
    }
    return intact && relayed ? 0 : 1;
}
