// Writing to the message server's clients: each idle recipient gets its queued frames in
// queue order, batched into one write while they fit; a written message leaves the queue
// once no registered client waits for it.
#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/message_server_loop.h"
#include "wirelay/message_server_memory.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

// Makes room for `need` bytes in the client's write buffer, keeping the first `keep`.
bool GrowWriteBuffer(Client* c, size_t need, size_t keep) {
    if (c->wcap >= need) return true;
    size_t cap = need > 2 * c->wcap ? need : 2 * c->wcap;  // a large frame gets just its size
    if (cap < 256) cap = 256;
    auto* buf = static_cast<uint8_t*>(wrl_malloc(cap));
    if (buf == nullptr) return false;
    if (keep > 0) std::memcpy(buf, c->wbuf, keep);
    if (c->wbuf != nullptr) wrl_free(c->wbuf);
    c->wbuf = buf;
    c->wcap = cap;
    return true;
}

// Writes the message's frame (header, then payload unless the frame is short) to `out`.
void EncodeFrame(const wrl_msg* m, uint8_t* out) {
    FrameHeader h;
    h.kind = m->kind;
    h.status = m->status;
    h.length = m->length;
    h.priority = m->priority;
    std::memcpy(h.to, m->to, kNameSize);
    std::memcpy(h.from, m->from, kNameSize);
    const size_t header = EncodeHeader(h, out);
    if (header == kHeaderSize && m->length > 0) std::memcpy(out + header, m->payload, m->length);
}

bool AddressedTo(const Client* c, const wrl_msg* m) {
    for (const wrl_recipient* r = m->recipients; r != nullptr; r = r->next) {
        if (IsRecipient(c, r)) return true;
    }
    return false;
}

// Starts one write to an idle client: the frame of `first` and, while they fit in a batch,
// the frames of the later queued messages addressed to it, in queue order. The client then
// is no longer a recipient of any of them. 0, or the code that ends the loop.
int Transmit(wrl_msgsrv* s, Client* c, wrl_msg* first) {
    size_t total = 0;
    for (wrl_msg* m = first; m != nullptr; m = m->next) {
        if (m != first && !AddressedTo(c, m)) continue;
        const size_t size = FrameSize(m->status, m->length);
        if (m != first && total + size > kBatchBytes) break;
        if (!GrowWriteBuffer(c, total + size, total)) return WRL_ENOMEM;
        EncodeFrame(m, c->wbuf + total);
        total += size;
        MsgRemoveRecipient(m, c->id, c->name);
        const size_t cost = QueuedCost(m);
        const size_t paid = c->backlog < cost ? c->backlog : cost;
        c->backlog -= paid;
        s->backlog_total -= paid;
        m->sent = true;
        if (c->mismatch && m->kind == kKindIdentify && IsShortStatus(m->status)) {
            c->close_after_write = true;  // nothing after this reply will be read
            break;
        }
    }
    if (c->ep != nullptr) {
        const int rc =
            wrl_net_queueio(c->ep, WRL_NET_WRITE, c->wbuf, static_cast<uint32_t>(total), c);
        if (rc != WRL_OK) return rc;
        // The socket usually takes the frames at once: the client is idle again right away,
        // so that what it is sent keeps the order in which its requests were processed.
        // A client to be closed after this write goes through the loop's removal instead.
        c->writing = true;
        if (!c->close_after_write && wrl_net_takedone(c->ep, WRL_NET_WRITE)) WriteDone(s, c);
        return WRL_OK;
    } else {
        if (s->sink != nullptr) s->sink(c->id, c->wbuf, total, s->sink_user);
        try {
            s->sink_done.push_back(c->id);
        } catch (const std::bad_alloc&) {
            return WRL_ENOMEM;
        }
    }
    c->writing = true;
    return WRL_OK;
}

}  // namespace

// Writes queued messages to every idle recipient: each idle client gets the first messages
// in queue order that are addressed to it. A message leaves the queue once it has been
// written and no registered client is a recipient any more. 0, or the code of a failed write.
int SendPending(wrl_msgsrv* s) {
    if (!s->send_pending) return WRL_OK;
    s->send_pending = false;
    wrl_msg* prev = nullptr;
    wrl_msg* m = s->queue;
    while (m != nullptr) {
        wrl_recipient* r = m->recipients;
        while (r != nullptr) {
            Client* c = FindRecipient(s, r);
            if (c == nullptr || c->writing) {
                r = r->next;
                continue;
            }
            const int rc = Transmit(s, c, m);
            if (rc != WRL_OK) return rc;
            r = m->recipients;  // the list changed under us
        }
        wrl_msg* next = m->next;
        if (m->sent && !AnyRegisteredRecipient(s, m)) {
            Unlink(s, prev, m);
            s->pool.Release(m);
        } else {
            prev = m;
        }
        m = next;
    }
    return WRL_OK;
}

void WriteDone(wrl_msgsrv* s, Client* c) {
    c->writing = false;
    s->send_pending = true;
    if (c->wcap > (c->backlog > 0 ? kKeepWriteBuffer : kKeepIdleWriteBuffer)) {
        wrl_free(c->wbuf);
        c->wbuf = nullptr;
        c->wcap = 0;
    }
    // A client refused for its protocol or version has nothing more to say.
    if (c->close_after_write) RemoveClient(s, c);
}

void ReleaseIfDue(wrl_msgsrv* s) {
    if (s->release_handler == nullptr) return;
    if (ReleaseDue(&s->held_high, s->backlog_total + s->receiving.used, kReleaseStep))
        s->release_handler(s->release_user);
}

// Lets the batch handler finish what the handled messages started, then writes what waits.
int FinishBatch(wrl_msgsrv* s) {
    if (s->batch_clients > 0) {
        ++s->batch;
        s->previous_batch_clients = s->batch_clients;
        s->batch_clients = 0;
        s->returned_clients = 0;
    }
    if (s->batch_handler != nullptr) s->batch_handler(s->batch_user);
    return SendPending(s);
}

}  // namespace wrl
