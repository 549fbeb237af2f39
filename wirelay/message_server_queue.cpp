// The message server's priority queue of messages waiting to be written: enqueueing by
// priority (charging each waiting client's backlog), unlinking, and purging the entries of
// a client that is gone.
#include <climits>

#include "wirelay/message_server_memory.h"
#include "wirelay/message_server_registry.h"

namespace wrl {
namespace {

// Charges the message's cost to the backlog of every registered client it waits for.
void ChargeBacklog(wrl_msgsrv* s, wrl_msg* m) {
    const size_t size = QueuedCost(m);
    for (wrl_recipient* r = m->recipients; r != nullptr; r = r->next) {
        Client* c = FindRecipient(s, r);
        if (c == nullptr) continue;
        bool seen = false;  // a client addressed twice (by id and by name) is charged once
        for (wrl_recipient* e = m->recipients; e != r && !seen; e = e->next) {
            seen = FindRecipient(s, e) == c;
        }
        if (seen) continue;
        c->backlog += size;
        s->backlog_total += size;
        if ((c->backlog > WRL_MAX_BACKLOG || s->backlog_total > s->backlog_limit) && !c->overflow) {
            c->overflow = true;
            try {
                s->overflowed.push_back(c->id);
            } catch (const std::bad_alloc&) {
                c->overflow = false;  // tried again with the next message
            }
        }
    }
}

}  // namespace

void Enqueue(wrl_msgsrv* s, wrl_msg* m) {
    ChargeBacklog(s, m);
    ++s->queued;
    s->send_pending = true;
    if (s->queue == nullptr) {
        m->next = nullptr;
        s->queue = s->queue_tail = m;
        return;
    }
    // Replies of equal priority arrive in bursts at the tail; skip the walk for them.
    if (s->queue_tail->priority >= m->priority) {
        m->next = nullptr;
        s->queue_tail->next = m;
        s->queue_tail = m;
        return;
    }
    wrl_msg* prev = nullptr;
    wrl_msg* cur = s->queue;
    while (cur != nullptr && cur->priority >= m->priority) {
        prev = cur;
        cur = cur->next;
    }
    m->next = cur;
    if (prev == nullptr) {
        s->queue = m;
    } else {
        prev->next = m;
    }
}

void Unlink(wrl_msgsrv* s, wrl_msg* prev, wrl_msg* m) {
    --s->queued;
    if (prev == nullptr) {
        s->queue = m->next;
    } else {
        prev->next = m->next;
    }
    if (s->queue_tail == m) s->queue_tail = prev;
    m->next = nullptr;
}

int32_t HeadPriority(const wrl_msgsrv* s) {
    if (s->queue == nullptr) return 0;
    const int32_t head = s->queue->priority;
    return head == INT32_MAX ? head : head + 1;
}

// Drops the entries of a client that is gone: those with its id, and with `name` also
// those with its name. Messages left without any recipient entry are released, since
// nothing could ever send them.
void PurgeClientFromQueue(wrl_msgsrv* s, uint32_t id, const char* name) {
    wrl_msg* prev = nullptr;
    wrl_msg* m = s->queue;
    while (m != nullptr) {
        wrl_msg* next = m->next;
        MsgRemoveRecipient(m, id, name);
        if (m->recipients == nullptr) {
            Unlink(s, prev, m);
            s->pool.Release(m);
        } else {
            prev = m;
        }
        m = next;
    }
}

}  // namespace wrl
