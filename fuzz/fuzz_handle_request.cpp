// Fuzz target: request handling on payloads of 0 to 512 bytes against live tables. Each
// input is a short run of payloads (a 16-bit length, taken modulo 513, then that many
// bytes), sent in turn as normal messages by one of two identified clients of a
// socketless server whose tables already hold locks, users and counters.
// Every payload must be acknowledged: status 0 with a reply of the same length for a
// whole request record, status 8 and no reply for a shorter one. Nothing may leak.
#include <cstring>
#include <vector>

#include "fuzz/frame_collector.h"
#include "protocol/cdb_request.h"
#include "server/request_callback.h"
#include "server/request_handler.h"
#include "server/server_state.h"
#include "wirelay/message_server_detached.h"
#include "wirelay/wrl_alloc.h"

namespace {

constexpr size_t kMaxPayload = 512;
constexpr int kMaxMessages = 8;
const char* const kNames[] = {"alice", "bob"};

// Locks, users and counters for the payloads to run into.
void seed_tables() {
    cdb_request r = {};
    const auto run = [&r](uint32_t query, const char* model, const char* user) {
        r = cdb_request{};
        r.query = query;
        std::strncpy(r.model_name, model, sizeof r.model_name - 1);
        perform_request(r, user);
    };
    run(CDB_LOCK_DATABASE, "model", "alice");
    run(CDB_GET_MAXID, "model", "alice");
    run(CDB_GET_GA_ID, "model", "bob");
    run(CDB_LOCK_OBJECT, "model", "bob");
    r = cdb_request{};
    r.query = CDB_LOCK_DRAWING;
    std::strncpy(r.model_name, "model", sizeof r.model_name - 1);
    drawinglocks_row d{};
    std::strncpy(d.DrawingName, "plan", sizeof d.DrawingName - 1);
    d.LockStatus = 1;
    cdb_set_body_row(r, d);
    perform_request(r, "bob");
    r = cdb_request{};
    r.query = CDB_LOCK_OBJECT_PROTO;
    object_lock_row o{};
    std::strncpy(o.guid, "{00000000-0000-0000-0000-000000000001}", sizeof o.guid - 1);
    std::strncpy(o.client_name, "alice", sizeof o.client_name - 1);
    cdb_set_body_row(r, o);
    perform_request(r, "alice");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::open_server_tables();
    qm_fuzz::clear_server_tables();
    seed_tables();

    unsigned long mallocs0 = 0, frees0 = 0;
    wrl_mallocstats_get(&mallocs0, &frees0);
    qm_fuzz::frame_collector out;
    wrl_msgsrv* server = nullptr;
    if (wrl::CreateDetachedServer(&qm_fuzz::frame_collector::sink, &out, &server) != 0) return 0;
    register_server_handlers(server);
    uint32_t ids[2] = {};
    for (int i = 0; i < 2; ++i) {
        wrl::AttachClient(server, &ids[i]);
        const auto identify = qm_fuzz::make_frame(wrl::kKindIdentify, "", kNames[i], 0, nullptr, 0);
        wrl::FeedClient(server, ids[i], identify.data(), identify.size());
        if (out.frames[ids[i]].size() != 1 || out.frames[ids[i]][0].header.status != 0)
            qm_fuzz::fail("identify not answered with 0");
    }

    for (int m = 0; m < kMaxMessages && size > 0; ++m) {
        const int who = data[0] & 1;
        const size_t wanted = qm_fuzz::take_u16(data, size) % (kMaxPayload + 1);
        const size_t length = wanted < size ? wanted : size;
        // An exact-size copy, so reading past the payload is caught.
        std::vector<uint8_t> payload(data, data + length);
        data += length;
        size -= length;
        const uint32_t id = ids[who];
        const size_t before = out.frames[id].size();
        const auto frame = qm_fuzz::make_frame(wrl::kKindNormal, kNames[who], kNames[who], 1,
                                               payload.data(), static_cast<uint32_t>(length));
        if (wrl::FeedClient(server, id, frame.data(), frame.size()) != 0)
            qm_fuzz::fail("feeding a request ended the server loop");
        const std::vector<qm_fuzz::written_frame>& got = out.frames[id];
        if (got.size() <= before || got[before].header.kind != wrl::kKindAcknowledge)
            qm_fuzz::fail("request not acknowledged first");
        const uint32_t status = got[before].header.status;
        if (length < CDB_REQUEST_SIZE) {
            if (status != 8 || got.size() != before + 1)
                qm_fuzz::fail("short request not rejected with 8");
        } else {
            if (status != 0 || got.size() != before + 2) qm_fuzz::fail("request not answered");
            if (got[before + 1].payload.size() != length) qm_fuzz::fail("reply length differs");
            if (std::memcmp(got[before + 1].payload.data() + CDB_REQUEST_SIZE,
                            payload.data() + CDB_REQUEST_SIZE, length - CDB_REQUEST_SIZE) != 0)
                qm_fuzz::fail("bytes past the request record changed");
        }
    }

    for (uint32_t id : ids) wrl::DetachClient(server, id);
    wrl_msgsrv_close(server);
    unsigned long mallocs1 = 0, frees1 = 0;
    wrl_mallocstats_get(&mallocs1, &frees1);
    if (mallocs1 - mallocs0 != frees1 - frees0)
        qm_fuzz::fail("transport allocations not given back");
    if (server_state().connected_clients != 0) qm_fuzz::fail("clients still counted after leaving");
    return 0;
}
