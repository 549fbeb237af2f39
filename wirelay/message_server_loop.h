// The steps of the message server's loop that its files share: client records and the
// slow-reader policy (message_server_clients.cpp), reading (message_server_read.cpp),
// writing in batches (message_server_write.cpp) and the flush of socketless clients
// (message_server_detached.cpp). Used by the loop (message_server.cpp) and by each other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wirelay/message_server_registry.h"

namespace wrl {

// Each read of a client takes whatever has arrived, up to this many bytes, and feeds it to
// the client's reader: a small frame costs one read, and frames sent back to back share one.
constexpr size_t kReadBytes = 8 * 1024;
// Completions handled back to back before the next send pass: under a steady stream the
// replies of a batch still leave after at most this many.
constexpr int kMaxBatch = 256;
// A write buffer up to this size is kept for the client's next frames while more wait for
// it; once nothing does, only one up to kKeepIdleWriteBuffer stays (a single answer's).
constexpr size_t kKeepWriteBuffer = 64 * 1024;
constexpr size_t kKeepIdleWriteBuffer = 1024;
// Frames queued for one client leave together in one write up to this many bytes (a single
// frame may be larger): an acknowledgement and its reply then cost one write, not two.
constexpr size_t kBatchBytes = 16 * 1024;

// A new, empty server record; null when memory runs out.
wrl_msgsrv* NewServer();
void DeleteServer(wrl_msgsrv* s);
// Frees a client record with its endpoint and buffers; the client must be unlinked.
void FreeClientRecord(Client* c);
// Registers a new client record (head of the list, next id). 0 or 3.
int NewClient(wrl_msgsrv* s, Client** out);
// Removes a client, telling the disconnect handler and purging its queued messages.
void RemoveClient(wrl_msgsrv* s, Client* c);
// Removes the clients whose backlog overflowed.
void DropSlowConsumers(wrl_msgsrv* s);

// Queues the client's next read of whatever arrives. Socketless clients are fed instead.
int StartRead(Client* c);
// Feeds bytes from the client into its reader and processes every message they complete;
// *gone says whether the client was removed. 0, or the code that ends the loop.
int FeedBytes(wrl_msgsrv* s, Client* c, const uint8_t* data, size_t size, bool* gone);
// A read of a connected client brought `size` bytes. 0, or the code that ends the loop.
int ReadDone(wrl_msgsrv* s, Client* c, size_t size);

// Writes queued messages to every idle recipient. 0, or the code of a failed write.
int SendPending(wrl_msgsrv* s);
// Calls the release handler when the bytes held for clients have fallen far enough
// (ReleaseDue in message_server_memory.h).
void ReleaseIfDue(wrl_msgsrv* s);
// Calls the batch handler (if any), then SendPending: no reply leaves before the work it
// reports is finished. 0, or the code of a failed write.
int FinishBatch(wrl_msgsrv* s);
// A write to the client completed: it is idle again.
void WriteDone(wrl_msgsrv* s, Client* c);

// Flushes socketless clients until nothing more can be written to them.
int SendPendingDetached(wrl_msgsrv* s);

}  // namespace wrl
