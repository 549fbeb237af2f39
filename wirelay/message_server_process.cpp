// Processing of received messages (requests and identifies), the message functions the
// handlers use, renaming clients and the registry look-ups.
#include <climits>
#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/message_server_registry.h"
#include "wirelay/wrl_errors.h"

namespace wrl {

Client* FindClient(wrl_msgsrv* s, uint32_t id) {
    auto it = s->by_id.find(id);
    return it == s->by_id.end() ? nullptr : it->second;
}

namespace {

Client* Resolve(wrl_msgsrv* s, const wrl_recipient* r) {
    if (r->id != 0) return FindClient(s, r->id);
    // An entry by name never matches an unnamed client: otherwise an acknowledgement meant
    // for one unnamed client would reach every other one too.
    if (r->name[0] == '\0') return nullptr;
    auto it = s->by_name.find(std::string_view(r->name));
    return it == s->by_name.end() ? nullptr : it->second;
}

}  // namespace

Client* FindRecipient(wrl_msgsrv* s, wrl_recipient* r) {
    if (r->gen != s->generation) {
        r->resolved = Resolve(s, r);
        r->gen = s->generation;
    }
    return static_cast<Client*>(r->resolved);
}

bool IsRecipient(const Client* c, const wrl_recipient* r) {
    if (r->id != 0) return r->id == c->id;
    return r->name[0] != '\0' && std::strncmp(r->name, c->name, kNameSize) == 0;
}

bool AnyRegisteredRecipient(wrl_msgsrv* s, const wrl_msg* m) {
    for (wrl_recipient* r = m->recipients; r != nullptr; r = r->next) {
        if (FindRecipient(s, r) != nullptr) return true;
    }
    return false;
}

int RenameClient(wrl_msgsrv* s, Client* c, const char* name) {
    ++s->generation;
    s->send_pending = true;  // messages may have waited for this name
    if (c->name[0] != '\0') {
        // What was queued for the old name was meant for this connection under that name.
        s->by_name.erase(std::string_view(c->name));
        PurgeClientFromQueue(s, 0, c->name);
    }
    CopyName(c->name, name);
    if (c->name[0] == '\0') return WRL_OK;
    try {
        s->by_name.emplace(std::string_view(c->name), c);
    } catch (const std::bad_alloc&) {
        c->name[0] = '\0';
        return WRL_ENOMEM;
    }
    return WRL_OK;
}

namespace {

int ProcessNormal(wrl_msgsrv* s, wrl_msg* m) {
    wrl_msg* ack = s->pool.Acquire();
    wrl_msg* reply = ack != nullptr ? s->pool.Acquire() : nullptr;
    if (reply == nullptr || MsgAddRecipientId(ack, m->client_id) != WRL_OK) {
        if (ack != nullptr) s->pool.Release(ack);
        if (reply != nullptr) s->pool.Release(reply);
        s->pool.Release(m);
        return WRL_ENOMEM;
    }
    ack->kind = kKindAcknowledge;
    CopyName(ack->to, "ack");
    ack->client_id = m->client_id;

    reply->magic = m->magic;
    reply->version = m->version;
    reply->kind = kKindNormal;
    reply->status = m->status;
    reply->priority = m->priority;
    reply->client_id = m->client_id;
    std::memcpy(reply->to, m->to, kNameSize);
    std::memcpy(reply->from, m->from, kNameSize);

    uint32_t status;
    if (s->msg_handler != nullptr) {
        status = static_cast<uint32_t>(s->msg_handler(m, reply, s->msg_user));
    } else {
        // Relaying: the reply takes the request's payload over instead of copying it.
        MsgSetPayload(reply, m->payload_block, m->payload, m->length);
        m->payload_block = nullptr;
        m->payload = nullptr;
        m->length = 0;
        status = static_cast<uint32_t>(wrl_msgsrv_addrecipient(reply, reply->to));
        if (status == WRL_EFAIL) status = WRL_EUNKNOWN;  // an empty destination names nobody
    }
    s->pool.Release(m);

    // A handler's own refusal stays what it said; only a reply that would go nowhere turns
    // into "unknown client".
    if (status == WRL_OK && !AnyRegisteredRecipient(s, reply)) status = WRL_EUNKNOWN;
    if (status != WRL_OK) {
        s->pool.Release(reply);
    } else {
        Enqueue(s, reply);
    }
    ack->status = status;
    ack->priority = HeadPriority(s);
    Enqueue(s, ack);
    return WRL_OK;
}

int ProcessIdentify(wrl_msgsrv* s, wrl_msg* m) {
    Client* c = FindClient(s, m->client_id);
    if (c == nullptr) {
        s->pool.Release(m);
        return WRL_OK;
    }
    if (MsgAddRecipientId(m, m->client_id) != WRL_OK) {
        s->pool.Release(m);
        return WRL_ENOMEM;
    }
    uint32_t status;
    if (m->magic != kFrameMagic) {
        status = WRL_EPROTOCOL;
    } else if (m->version != kFrameVersion) {
        status = WRL_EVERSION;
    } else if (m->from[0] == '\0' || s->by_name.count(std::string_view(m->from)) != 0) {
        // An empty name is never a name: taking it would turn an identified client back into
        // an anonymous one whose departure nobody is told about.
        status = WRL_EDUPLICATE;
    } else {
        char old_name[kNameSize];
        std::memcpy(old_name, c->name, kNameSize);
        if (RenameClient(s, c, m->from) != WRL_OK) {
            s->pool.Release(m);
            return WRL_ENOMEM;
        }
        // A client that identifies again leaves under its old name first, so that every
        // connect handler call is paired with one disconnect call (the server counts its
        // clients and cleans up after a name by them).
        if (old_name[0] != '\0' && s->disconnect_handler != nullptr)
            s->disconnect_handler(old_name, s->disconnect_user);
        status = s->connect_handler != nullptr
                     ? static_cast<uint32_t>(s->connect_handler(c->name, s->connect_user))
                     : WRL_OK;
    }
    MsgSetPayload(m, nullptr, nullptr, 0);
    m->status = status;
    m->priority = HeadPriority(s);
    Enqueue(s, m);
    return WRL_OK;
}

}  // namespace

int ProcessMessage(wrl_msgsrv* s, wrl_msg* m) {
    switch (m->kind) {
        case kKindNormal:
            return ProcessNormal(s, m);
        case kKindIdentify:
            return ProcessIdentify(s, m);
        default:
            io_log("wrl_msgsrv_processmsg: unknown message %d\n", static_cast<int>(m->kind));
            s->pool.Release(m);
            return WRL_OK;
    }
}

}  // namespace wrl

using wrl::kNameSize;

extern "C" {

void wrl_msgsrv_getmsg(wrl_msg* msg, const char** to, const char** from, int32_t* priority,
                       void** payload, uint32_t* length) {
    if (to != nullptr) *to = msg->to;
    if (from != nullptr) *from = msg->from;
    if (priority != nullptr) *priority = msg->priority;
    if (payload != nullptr) *payload = msg->payload;
    if (length != nullptr) *length = msg->length;
}

int wrl_msgsrv_setmsg(wrl_msg* msg, const char* to, const char* from, int32_t priority,
                      const void* payload, uint32_t length) {
    if (length > wrl::WRL_MAX_PAYLOAD || (payload == nullptr && length != 0)) return WRL_EFAIL;
    uint8_t* copy = nullptr;
    if (length > 0) {
        copy = static_cast<uint8_t*>(wrl_malloc(length));
        if (copy == nullptr) return WRL_ENOMEM;
        std::memcpy(copy, payload, length);  // before the old payload goes: it may be the source
    }
    wrl::CopyName(msg->to, to);
    wrl::CopyName(msg->from, from);
    msg->priority = priority;
    wrl::MsgSetPayload(msg, copy, copy, length);
    return WRL_OK;
}

int wrl_msgsrv_addrecipient(wrl_msg* msg, const char* name) {
    if (name == nullptr || name[0] == '\0') return WRL_EFAIL;
    return wrl::MsgAddRecipient(msg, 0, name);
}

int wrl_msgsrv_removerecipient(wrl_msg* msg, const char* name) {
    wrl::MsgRemoveRecipient(msg, 0, name);
    return WRL_OK;
}

int wrl_msgsrv_countmsgs(wrl_msgsrv* server, const char* name, int32_t min_priority,
                         uint32_t* count) {
    *count = 0;
    if (name == nullptr || name[0] == '\0') return WRL_EUNKNOWN;
    auto it = server->by_name.find(std::string_view(name, strnlen(name, wrl::kNameMax)));
    if (it == server->by_name.end()) return WRL_EUNKNOWN;
    const wrl::Client* c = it->second;
    for (const wrl_msg* m = server->queue; m != nullptr && m->priority >= min_priority;
         m = m->next) {
        for (const wrl_recipient* r = m->recipients; r != nullptr; r = r->next) {
            if (wrl::IsRecipient(c, r)) {
                ++*count;
                break;
            }
        }
    }
    return WRL_OK;
}

const char* wrl_msgsrv_kindname(uint32_t kind) {
    return wrl::KindName(kind);
}

}  // extern "C"
