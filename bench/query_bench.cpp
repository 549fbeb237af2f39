// A query round trip over loopback endpoints: the client sends a query of N rows (in wire
// form already), the server receives it, converts it to host form and acknowledges it,
// the client receives the acknowledgement. The baseline moves the same bytes as one plain
// frame (88-byte header and a payload as long as the whole query) and answers with a
// 24-byte acknowledgement, read in two reads; the query's extra cost is its item-by-item
// framing and conversion. Target: at most 1.3 times the frame's time at 100 items.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "outside/table_store.h"
#include "wirelay/endpoint.h"
#include "wirelay/frame.h"
#include "wirelay/query.h"
#include "wirelay/wrl_errors.h"

namespace {

struct BenchRow {
    int32_t id;
    char text[92];
};
static_assert(sizeof(BenchRow) == 96);

const dbd_columndef_t kColumns[] = {{"id", DBD_INT32, 0}, {"text", DBD_TEXT, 92}};
const dbd_indexdef_t kIndexes[] = {{"by_id", {"id"}, 1, 1}};
const dbd_tabledef_t kTable = {"bench_rows", kColumns, 2, kIndexes, 1, "by_id"};
constexpr uint32_t kTableNumber = 77;

enum Mode : int { kQuery, kQueryExact, kFrame };

// One client endpoint connected to a server thread that answers either queries or frames.
struct Link {
    wrl_net* listen = nullptr;
    wrl_net* server = nullptr;
    wrl_net* client = nullptr;
    std::thread thread;
    const Mode mode;
    bool ok = false;

    explicit Link(Mode m) : mode(m) {
        wrl_address a{1, "localhost", 0};
        if (wrl_net_create(&listen) != WRL_OK || wrl_net_listenat(listen, &a) != WRL_OK ||
            wrl_net_armaccept(listen, nullptr) != WRL_OK || wrl_net_create(&client) != WRL_OK) {
            return;
        }
        const std::string address = "tcpip:127.0.0.1," + std::to_string(wrl_net_localport(listen));
        int dir = -1;
        void* user = nullptr;
        if (wrl_net_connect(client, address.c_str()) != WRL_OK ||
            wrl_net_wait(listen, &dir, &user) != WRL_OK || wrl_net_alloc(&server) != WRL_OK ||
            wrl_net_accept(listen, server) != WRL_OK) {
            return;
        }
        thread = std::thread([this] { Serve(); });
        ok = true;
    }

    void Serve() {
        std::vector<uint8_t> payload;
        wrl_query_reader* reader = nullptr;
        if (mode == kQuery && wrl_query_reader_create(server, &reader) != WRL_OK) return;
        for (;;) {
            if (mode != kFrame) {
                wrl_query* q = nullptr;
                const int rc = reader != nullptr ? wrl_query_reader_receive(reader, &q)
                                                 : wrl_query_receive(server, &q);
                if (rc != WRL_OK) break;
                const bool answered =
                    wrl_query_ntoh(q) == WRL_OK && wrl_query_ack(server, q) == WRL_OK;
                wrl_query_free(q);
                if (!answered) break;
            } else {
                uint8_t head[wrl::kHeaderSize];
                if (wrl_net_read(server, head, sizeof head) != WRL_OK) break;
                wrl::FrameHeader h;
                wrl::DecodePrefix(head, &h);
                payload.resize(h.length);
                if (wrl_net_read(server, payload.data(), h.length) != WRL_OK) break;
                uint8_t ack[wrl::kPrefixSize] = {};
                wrl::FrameHeader a;
                a.kind = wrl::kKindAcknowledge;
                a.status = 12;  // a short frame: the 24-byte prefix alone
                wrl::EncodeHeader(a, ack);
                if (wrl_net_write(server, ack, sizeof ack) != WRL_OK) break;
            }
        }
        wrl_query_reader_free(reader);
    }

    ~Link() {
        wrl_net_destroy(client);  // the server's read breaks and its thread ends
        if (thread.joinable()) thread.join();
        wrl_net_free(server);
        wrl_net_destroy(listen);
    }
};

void CreateTable() {
    static const bool created = [] {
        dbd_definevirtualtable(&kTable);
        dbd_createvirtualdatabase("query_bench");
        dbd_createvirtualtable("bench_rows", kTableNumber, 1, 1, 1);
        return true;
    }();
    (void)created;
}

Link& TheLink(Mode mode) {
    CreateTable();
    static Link query_link(kQuery);
    static Link exact_link(kQueryExact);
    static Link frame_link(kFrame);
    return mode == kQuery ? query_link : mode == kQueryExact ? exact_link : frame_link;
}

wrl_query* WireQuery(int items) {
    wrl_query* q = nullptr;
    wrl_query_create(&q);
    for (int i = 0; i < items; ++i) {
        BenchRow r{};
        r.id = i;
        std::memset(r.text, 'a' + i % 26, sizeof r.text - 1);
        wrl_query_addinsert(q, kTableNumber, &r);
    }
    wrl_query_hton(q);
    return q;
}

size_t WireSize(int items) {
    return WRL_QUERY_HEADER_SIZE + static_cast<size_t>(items) * (9 + sizeof(BenchRow));
}

// The server reads through a wrl_query_reader (kQuery) or with wrl_query_receive, which
// never reads past the query and so needs more, smaller reads (kQueryExact).
void QueryRoundTrips(benchmark::State& state, Mode mode) {
    Link& link = TheLink(mode);
    wrl_query_reader* reader = nullptr;
    if (!link.ok || wrl_query_reader_create(link.client, &reader) != WRL_OK) {
        state.SkipWithError("no loopback link");
        return;
    }
    wrl_query* q = WireQuery(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        wrl_query* ack = nullptr;
        if (wrl_query_send(link.client, q) != WRL_OK ||
            wrl_query_reader_receive(reader, &ack) != WRL_OK) {
            state.SkipWithError("round trip failed");
            break;
        }
        wrl_query_free(ack);
    }
    wrl_query_free(q);
    wrl_query_reader_free(reader);
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * WireSize(static_cast<int>(state.range(0)))));
}

void BM_QueryRoundTrip(benchmark::State& state) {
    QueryRoundTrips(state, kQuery);
}

void BM_QueryRoundTripExactReads(benchmark::State& state) {
    QueryRoundTrips(state, kQueryExact);
}

void BM_FrameRoundTrip(benchmark::State& state) {
    Link& link = TheLink(kFrame);
    if (!link.ok) {
        state.SkipWithError("no loopback link");
        return;
    }
    const size_t payload = WireSize(static_cast<int>(state.range(0)));
    std::vector<uint8_t> frame(wrl::kHeaderSize + payload, 0x61);
    wrl::FrameHeader h;
    h.length = static_cast<uint32_t>(payload);
    wrl::CopyName(h.to, "server");
    wrl::CopyName(h.from, "client");
    wrl::EncodeHeader(h, frame.data());
    uint8_t ack[wrl::kPrefixSize];
    for (auto _ : state) {
        if (wrl_net_write(link.client, frame.data(), static_cast<uint32_t>(frame.size())) !=
                WRL_OK ||
            wrl_net_read(link.client, ack, sizeof ack) != WRL_OK) {
            state.SkipWithError("round trip failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload));
}

}  // namespace

BENCHMARK(BM_FrameRoundTrip)->Arg(1)->Arg(100)->Arg(1000)->UseRealTime();
BENCHMARK(BM_QueryRoundTrip)->Arg(1)->Arg(100)->Arg(1000)->UseRealTime();
BENCHMARK(BM_QueryRoundTripExactReads)->Arg(1)->Arg(100)->Arg(1000)->UseRealTime();

BENCHMARK_MAIN();
