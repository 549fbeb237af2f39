// In-memory message records of the message server: the message with its recipient
// entries, and the pool that recycles message records so that the three records of
// every request (request, reply, acknowledgement) do not each cost a heap round trip.
#pragma once

#include <cstdint>

#include "wirelay/frame.h"

// One addressee of a queued message: by client id (id != 0) or by client name.
struct wrl_recipient {
    wrl_recipient* next;
    char name[wrl::kNameSize];
    uint32_t id;
    // The client this entry resolved to, valid while the registry's generation is `gen`.
    void* resolved;
    uint64_t gen;
};

struct wrl_msg {
    wrl_msg* next;  // link in the server's queue or in the pool's free list
    uint32_t magic;
    uint32_t version;
    uint32_t kind;
    char from[wrl::kNameSize];
    char to[wrl::kNameSize];
    uint8_t* payload_block;  // owned allocation; the payload may start inside it
    uint8_t* payload;        // null when there is none
    uint32_t length;
    int32_t priority;
    uint32_t status;
    uint32_t client_id;  // the client the message came from
    wrl_recipient* recipients;
    // Most messages have exactly one recipient; it lives here instead of on the heap.
    wrl_recipient spare_recipient;
    bool spare_in_use;
    bool sent;  // written to at least one client since it was queued
};

namespace wrl {

// Replaces the payload by `block` (owned, may be null) with the payload at `payload`.
void MsgSetPayload(wrl_msg* msg, uint8_t* block, uint8_t* payload, uint32_t length);

// Adds a recipient entry by id (id != 0, name ignored) or by name (id 0). Returns
// WRL_OK or WRL_ENOMEM.
int MsgAddRecipient(wrl_msg* msg, uint32_t id, const char* name);
inline int MsgAddRecipientId(wrl_msg* msg, uint32_t id) {
    return MsgAddRecipient(msg, id, nullptr);
}

// Removes every entry that carries `id` (when not 0) or `name` (when not empty).
void MsgRemoveRecipient(wrl_msg* msg, uint32_t id, const char* name);

// Frees the payload and every recipient entry; the record itself stays.
void MsgClear(wrl_msg* msg);

// Recycles message records. Not thread-safe: owned by the thread of one server.
class MessagePool {
  public:
    MessagePool() = default;
    MessagePool(const MessagePool&) = delete;
    MessagePool& operator=(const MessagePool&) = delete;
    ~MessagePool();

    // A zero-filled record with magic and version set to the frame's, or null (memory).
    wrl_msg* Acquire();
    // Clears the record and keeps it for reuse (or frees it when enough are kept).
    void Release(wrl_msg* msg);

  private:
    static constexpr int kKeep = 256;
    wrl_msg* free_ = nullptr;
    int kept_ = 0;
};

}  // namespace wrl
