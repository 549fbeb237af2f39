// Fuzz target: the message server's reading and processing of one client's bytes, through
// the socketless seam, with the real request handler and client bookkeeping behind it.
// The first input byte chooses how the rest arrives (all at once, or in pieces of that
// many bytes); a second client "bob" is identified so that relays have somewhere to go.
// Every frame the server writes must be well formed, the first client's bytes may never
// end the loop, and after both clients leave nothing may stay allocated or counted.
#include <vector>

#include "fuzz/frame_collector.h"
#include "server/request_callback.h"
#include "server/server_state.h"
#include "wirelay/message_server_detached.h"
#include "wirelay/wrl_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::open_server_tables();
    qm_fuzz::clear_server_tables();
    if (size == 0) return 0;
    const size_t piece = data[0] == 0 ? size : data[0];
    ++data;
    --size;

    unsigned long mallocs0 = 0, frees0 = 0;
    wrl_mallocstats_get(&mallocs0, &frees0);
    qm_fuzz::frame_collector out;
    wrl_msgsrv* server = nullptr;
    if (wrl::CreateDetachedServer(&qm_fuzz::frame_collector::sink, &out, &server) != 0) return 0;
    register_server_handlers(server);

    uint32_t bob = 0, client = 0;
    wrl::AttachClient(server, &bob);
    const auto identify = qm_fuzz::make_frame(wrl::kKindIdentify, "", "bob", 0, nullptr, 0);
    wrl::FeedClient(server, bob, identify.data(), identify.size());
    wrl::AttachClient(server, &client);

    while (size > 0 && wrl::HasClient(server, client)) {
        const size_t n = piece < size ? piece : size;
        if (wrl::FeedClient(server, client, data, n) != 0)
            qm_fuzz::fail("client bytes ended the loop");
        data += n;
        size -= n;
    }
    if (!wrl::HasClient(server, bob)) qm_fuzz::fail("another client's bytes removed bob");

    wrl::DetachClient(server, client);
    wrl::DetachClient(server, bob);
    wrl_msgsrv_close(server);
    unsigned long mallocs1 = 0, frees1 = 0;
    wrl_mallocstats_get(&mallocs1, &frees1);
    if (mallocs1 - mallocs0 != frees1 - frees0)
        qm_fuzz::fail("transport allocations not given back");
    if (server_state().connected_clients != 0) qm_fuzz::fail("clients still counted after leaving");
    return 0;
}
