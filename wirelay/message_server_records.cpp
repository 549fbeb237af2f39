// Message records, their recipient lists and the record pool.
#include "wirelay/message_server_records.h"

#include <cstring>

#include "wirelay/wrl_alloc.h"

namespace wrl {
namespace {

wrl_recipient* NewRecipient(wrl_msg* msg) {
    if (!msg->spare_in_use) {
        msg->spare_in_use = true;
        return &msg->spare_recipient;
    }
    return static_cast<wrl_recipient*>(wrl_malloc(sizeof(wrl_recipient)));
}

void FreeRecipient(wrl_msg* msg, wrl_recipient* r) {
    if (r == &msg->spare_recipient) {
        msg->spare_in_use = false;
    } else {
        wrl_free(r);
    }
}

}  // namespace

void MsgSetPayload(wrl_msg* msg, uint8_t* block, uint8_t* payload, uint32_t length) {
    if (msg->payload_block != nullptr) wrl_free(msg->payload_block);
    msg->payload_block = block;
    msg->payload = payload;
    msg->length = length;
}

int MsgAddRecipient(wrl_msg* msg, uint32_t id, const char* name) {
    wrl_recipient* r = NewRecipient(msg);
    if (r == nullptr) return 3;
    CopyName(r->name, id != 0 ? nullptr : name);
    r->id = id;
    r->resolved = nullptr;
    r->gen = 0;
    r->next = msg->recipients;
    msg->recipients = r;
    return 0;
}

void MsgRemoveRecipient(wrl_msg* msg, uint32_t id, const char* name) {
    const bool by_name = name != nullptr && name[0] != '\0';
    wrl_recipient** link = &msg->recipients;
    while (*link != nullptr) {
        wrl_recipient* r = *link;
        const bool match = (id != 0 && r->id == id) ||
                           (by_name && r->id == 0 && std::strncmp(r->name, name, kNameSize) == 0);
        if (match) {
            *link = r->next;
            FreeRecipient(msg, r);
        } else {
            link = &r->next;
        }
    }
}

void MsgClear(wrl_msg* msg) {
    MsgSetPayload(msg, nullptr, nullptr, 0);
    while (msg->recipients != nullptr) {
        wrl_recipient* r = msg->recipients;
        msg->recipients = r->next;
        FreeRecipient(msg, r);
    }
}

MessagePool::~MessagePool() {
    while (free_ != nullptr) {
        wrl_msg* m = free_;
        free_ = m->next;
        wrl_free(m);
    }
}

wrl_msg* MessagePool::Acquire() {
    wrl_msg* m = free_;
    if (m != nullptr) {
        free_ = m->next;
        --kept_;
        std::memset(static_cast<void*>(m), 0, sizeof *m);
    } else {
        m = static_cast<wrl_msg*>(wrl_calloc(sizeof(wrl_msg)));
        if (m == nullptr) return nullptr;
    }
    m->magic = kFrameMagic;
    m->version = kFrameVersion;
    return m;
}

void MessagePool::Release(wrl_msg* msg) {
    MsgClear(msg);
    if (kept_ >= kKeep) {
        wrl_free(msg);
        return;
    }
    msg->next = free_;
    free_ = msg;
    ++kept_;
}

}  // namespace wrl
