// Reading from the message server's clients: the double-buffered reads of a connected
// client, and feeding the bytes that arrive into the client's frame reader, turning every
// complete frame into a message for processing.
#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/message_server_loop.h"
#include "wirelay/message_server_memory.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

// Acts on one step of a client's reader. 0, or the code that ends the loop.
int HandleReaderStep(wrl_msgsrv* s, Client* c, FrameReader::Step step) {
    switch (step) {
        case FrameReader::Step::kNeedMore:
            return WRL_OK;  // the caller feeds (or reads) more
        case FrameReader::Step::kDrop:
            RemoveClient(s, c);
            return WRL_OK;
        case FrameReader::Step::kNoMemory:
            return WRL_ENOMEM;
        case FrameReader::Step::kMessage:
        case FrameReader::Step::kLastMessage:
            break;
    }
    FrameHeader h;
    uint8_t* block = nullptr;
    uint8_t* payload = nullptr;
    c->reader.TakeMessage(&h, &block, &payload);
    wrl_msg* m = s->pool.Acquire();
    if (m == nullptr) {
        if (block != nullptr) wrl_free(block);
        return WRL_ENOMEM;
    }
    m->magic = h.magic;
    m->version = h.version;
    m->kind = h.kind;
    m->status = h.status;
    m->priority = h.priority;
    std::memcpy(m->to, h.to, kNameSize);
    std::memcpy(m->from, h.from, kNameSize);
    MsgSetPayload(m, block, payload, h.length);
    m->client_id = c->id;
    if (step == FrameReader::Step::kLastMessage) c->mismatch = true;
    return ProcessMessage(s, m);
}

// Gives the client fresh read halves when its last read asks for another size
// (NextReadSize) and returns the old buffer, which still holds that read's bytes and is
// the caller's to free once they are fed; null when the size stays (or there is no memory
// for the new one, in which case the old stays too). No read is queued at this point.
uint8_t* ResizeReadBuffer(Client* c, size_t size) {
    const size_t want = NextReadSize(c->rsize, size, kSmallReadBytes, kReadBytes);
    if (want == c->rsize) return nullptr;
    auto* buf = static_cast<uint8_t*>(wrl_malloc(2 * want));
    if (buf == nullptr) return nullptr;
    uint8_t* old = c->rbuf;
    c->rbuf = buf;
    c->rsize = static_cast<uint32_t>(want);
    return old;
}

}  // namespace

// Queues the client's next read of whatever arrives. Socketless clients are fed instead.
int StartRead(Client* c) {
    if (c->ep == nullptr) return WRL_OK;
    if (c->rbuf == nullptr) {
        c->rbuf = static_cast<uint8_t*>(wrl_malloc(2 * kSmallReadBytes));
        if (c->rbuf == nullptr) return WRL_ENOMEM;
        c->rsize = kSmallReadBytes;
    }
    const int rc = wrl_net_queuesome(c->ep, c->rbuf + c->rhalf * c->rsize, c->rsize, c);
    if (rc != WRL_OK) c->reader.Reset();
    return rc;
}

// Feeds `size` bytes from the client into its reader and processes every message they
// complete. 0, or the code that ends the loop. The client may be gone afterwards (a bad
// frame removes it): *gone says so.
int FeedBytes(wrl_msgsrv* s, Client* c, const uint8_t* data, size_t size, bool* gone) {
    *gone = false;
    int failure = WRL_OK;
    const FrameReader::Step last = c->reader.Feed(data, size, [&](FrameReader::Step step) {
        // A connected client's answers leave before its next frame is processed, as they
        // did when every frame came with a read of its own. Otherwise they wait for the
        // loop's send pass, so that one batch handler call covers the frames of every
        // client that arrived together.
        if (c->handled_in == s->batch && c->ep != nullptr) failure = FinishBatch(s);
        if (c->handled_in != s->batch) {
            ++s->batch_clients;
            if (c->handled_in + 1 == s->batch) ++s->returned_clients;
        }
        if (failure == WRL_OK) failure = HandleReaderStep(s, c, step);
        c->handled_in = s->batch;
        return failure == WRL_OK;
    });
    if (failure != WRL_OK) return failure;
    if (last == FrameReader::Step::kDrop) {
        RemoveClient(s, c);
        *gone = true;
        return WRL_OK;
    }
    if (last == FrameReader::Step::kNoMemory) return WRL_ENOMEM;
    return WRL_OK;
}

// A read of a connected client brought `size` bytes into one half of its read buffer. The
// next read is queued into the other half first, so that it waits for the client's next
// frame while these bytes are fed to the reader and answered (answered before it was
// queued, a frame would find no read to take it). Unless reading has stopped.
int ReadDone(wrl_msgsrv* s, Client* c, size_t size) {
    const uint8_t* data = c->rbuf + c->rhalf * c->rsize;
    uint8_t* old = nullptr;  // a buffer replaced by halves of another size, freed at the end
    if (!c->reader.Stopped()) {
        old = ResizeReadBuffer(c, size);
        c->rhalf ^= 1;
        const int rc = StartRead(c);
        if (rc != WRL_OK) {
            if (old != nullptr) wrl_free(old);
            return rc;
        }
    }
    bool gone = false;
    const int rc = FeedBytes(s, c, data, size, &gone);
    if (old != nullptr) wrl_free(old);
    return rc;
}

}  // namespace wrl
