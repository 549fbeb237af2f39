// The message server's state: its client records, the registry that finds them by id and
// by name, and the priority queue of messages waiting to be written. Shared by every file
// of the message server (message_server*.cpp).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "wirelay/endpoint.h"
#include "wirelay/message_server.h"
#include "wirelay/message_server_detached.h"
#include "wirelay/message_server_reader.h"
#include "wirelay/message_server_records.h"
#include "wirelay/wrl_alloc.h"

namespace wrl {

// Lets the registry's containers draw on the transport's counted allocation too.
template <typename T>
struct CountedAllocator {
    using value_type = T;
    CountedAllocator() = default;
    template <typename U>
    CountedAllocator(const CountedAllocator<U>&) {}
    T* allocate(size_t n) {
        void* p = wrl_malloc(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { wrl_free(p); }
    template <typename U>
    bool operator==(const CountedAllocator<U>&) const {
        return true;
    }
};

struct Client {
    Client* next = nullptr;  // the client list, newest first
    Client* prev = nullptr;
    char name[kNameSize] = {};  // empty until the client identifies
    uint32_t id = 0;
    wrl_net* ep = nullptr;  // null for a socketless client
    int socket = -1;        // noted when its first read is queued (message_server_peer.h)
    FrameReader reader;
    // Two halves, each taking what one read brings in (sockets only): the next read fills
    // one while the bytes of the other are fed to the reader.
    uint8_t* rbuf = nullptr;
    uint32_t rhalf = 0;       // the half the queued read fills
    uint32_t rsize = 0;       // bytes of each half (message_server_memory.h)
    uint8_t* wbuf = nullptr;  // frame being written; kept for the next one when small
    size_t wcap = 0;
    size_t backlog = 0;              // queued bytes waiting for this client (QueuedCost)
    uint64_t handled_in = 0;         // the batch in which a frame of it was last handled
    bool overflow = false;           // backlog above the limit: to be removed
    bool writing = false;            // one frame in flight
    bool mismatch = false;           // identify refused (WRL_EPROTOCOL/WRL_EVERSION); not read
    bool close_after_write = false;  // the mismatch reply is in flight
};

}  // namespace wrl

struct wrl_msgsrv {
    wrl_net* listen = nullptr;
    uint32_t last_id = 0;
    wrl_msg* queue = nullptr;  // by descending priority, first-come among equals
    wrl_msg* queue_tail = nullptr;
    size_t queued = 0;
    // Bytes of queued messages charged to clients (QueuedCost), all together, and its limit.
    size_t backlog_total = 0;
    size_t backlog_limit = WRL_MAX_BACKLOG_TOTAL;
    // Bytes of frames being received, all clients together (the readers charge it).
    wrl::ReceiveBudget receiving{0, WRL_MAX_RECEIVING_TOTAL};
    // The release handler and the highest sum of both totals since it was last called.
    wrl_releasehandler_t release_handler = nullptr;
    void* release_user = nullptr;
    size_t held_high = 0;
    wrl::Client* clients = nullptr;
    std::unordered_map<uint32_t, wrl::Client*, std::hash<uint32_t>, std::equal_to<uint32_t>,
                       wrl::CountedAllocator<std::pair<const uint32_t, wrl::Client*>>>
        by_id;
    // Keys point into the clients' own name fields.
    std::unordered_map<std::string_view, wrl::Client*, std::hash<std::string_view>,
                       std::equal_to<std::string_view>,
                       wrl::CountedAllocator<std::pair<const std::string_view, wrl::Client*>>>
        by_name;
    wrl_msghandler_t msg_handler = nullptr;
    void* msg_user = nullptr;
    wrl_connecthandler_t connect_handler = nullptr;
    void* connect_user = nullptr;
    wrl_disconnecthandler_t disconnect_handler = nullptr;
    void* disconnect_user = nullptr;
    wrl_idlehandler_t idle_handler = nullptr;
    void* idle_user = nullptr;
    // Counts the batches: bumped whenever the batch handler runs and queued answers leave
    // after a batch in which some frame was handled.
    uint64_t batch = 1;
    wrl_batchhandler_t batch_handler = nullptr;
    void* batch_user = nullptr;
    // Clients with a frame handled in the current batch and in the one before, and how many
    // of the latter have sent again in this one: what the gather step waits for.
    uint32_t batch_clients = 0;
    uint32_t previous_batch_clients = 0;
    uint32_t returned_clients = 0;
    wrl_gatherhandler_t gather_handler = nullptr;
    void* gather_user = nullptr;
    wrl_peerfilter_t peer_filter = nullptr;
    void* peer_user = nullptr;
    // Bumped whenever a client comes, goes or changes its name: recipient entries cache the
    // client they resolved to for as long as the generation stays the same.
    uint64_t generation = 1;
    // Something happened that may let a queued message leave (a message was queued, a client
    // became idle or took a name); the loop skips the send pass otherwise.
    bool send_pending = false;
    wrl::MessagePool pool;
    std::atomic<bool> stop{false};
    // Socketless clients: their frames go to the sink, and their writes complete later.
    wrl::FrameSink sink = nullptr;
    void* sink_user = nullptr;
    std::vector<uint32_t, wrl::CountedAllocator<uint32_t>> sink_done;
    // Clients whose backlog passed the limit, removed before the next send pass.
    std::vector<uint32_t, wrl::CountedAllocator<uint32_t>> overflowed;
};

namespace wrl {

// Finds a recipient entry's client: by id, or by name for a named client.
Client* FindRecipient(wrl_msgsrv* s, wrl_recipient* r);
// True when the entry addresses this client.
bool IsRecipient(const Client* c, const wrl_recipient* r);
Client* FindClient(wrl_msgsrv* s, uint32_t id);

// True when some registered client is a recipient of the message.
bool AnyRegisteredRecipient(wrl_msgsrv* s, const wrl_msg* m);

// Inserts after every message of greater or equal priority.
void Enqueue(wrl_msgsrv* s, wrl_msg* m);
// Unlinks `m`, whose predecessor in the queue is `prev` (null at the head).
void Unlink(wrl_msgsrv* s, wrl_msg* prev, wrl_msg* m);
// Drops the queued entries addressed to client `id` (0: none by id) and, when `name` is
// not empty, those addressed to `name`; releases messages left without any recipient.
void PurgeClientFromQueue(wrl_msgsrv* s, uint32_t id, const char* name);
// The priority that puts a message ahead of everything queued.
int32_t HeadPriority(const wrl_msgsrv* s);

// Gives the client a (new) name in the registry. WRL_OK or WRL_ENOMEM.
int RenameClient(wrl_msgsrv* s, Client* c, const char* name);

// Handles one normal or identify message; takes ownership of `m`. WRL_OK or WRL_ENOMEM.
int ProcessMessage(wrl_msgsrv* s, wrl_msg* m);

}  // namespace wrl
