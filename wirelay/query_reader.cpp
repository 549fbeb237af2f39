// The read-ahead query receiver: one buffer per endpoint, filled by reads that complete
// with whatever has arrived; the parser takes from it exactly the bytes of one query.
#include "wirelay/endpoint.h"
#include "wirelay/query.h"
#include "wirelay/query_wire.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

struct wrl_query_reader {
    wrl_net* ep;
    uint8_t* buffer;
    uint32_t begin;  // first byte not yet handed to a parser
    uint32_t end;    // end of the bytes read
};

namespace {

constexpr uint32_t kReadAhead = 64 * 1024;

// Reads whatever has arrived (at least one byte) into the free end of the buffer.
int ReadSome(wrl_query_reader* r) {
    if (wrl_net_queuesome(r->ep, r->buffer + r->end, kReadAhead - r->end, r) != WRL_OK) {
        return WRL_EFAIL;
    }
    int rc = WRL_OK;
    if (!wrl_net_takedone(r->ep, WRL_NET_READ)) {
        int direction = -1;
        void* user = nullptr;
        do {
            rc = wrl_net_wait(r->ep, &direction, &user);
        } while (user != r && wrl_net_queued(r->ep, WRL_NET_READ));
    }
    if (rc == WRL_OK) r->end += wrl_net_done(r->ep, WRL_NET_READ);
    return rc;
}

}  // namespace

extern "C" {

int wrl_query_reader_create(wrl_net* ep, wrl_query_reader** out) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    auto* r = static_cast<wrl_query_reader*>(wrl_calloc(sizeof(wrl_query_reader)));
    if (r == nullptr) return WRL_ENOMEM;
    r->buffer = static_cast<uint8_t*>(wrl_malloc(kReadAhead));
    if (r->buffer == nullptr) {
        wrl_free(r);
        return WRL_ENOMEM;
    }
    r->ep = ep;
    *out = r;
    return WRL_OK;
}

void wrl_query_reader_free(wrl_query_reader* reader) {
    if (reader == nullptr) return;
    wrl_free(reader->buffer);
    wrl_free(reader);
}

uint32_t wrl_query_reader_buffered(const wrl_query_reader* reader) {
    return reader != nullptr ? reader->end - reader->begin : 0;
}

int wrl_query_reader_receive(wrl_query_reader* reader, wrl_query** out) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    if (reader == nullptr || reader->ep == nullptr) return WRL_EFAIL;
    if (wrl_net_queued(reader->ep, WRL_NET_READ)) return WRL_EFAIL;
    wrl::QueryParser parser;
    for (;;) {
        reader->begin += static_cast<uint32_t>(
            parser.Feed(reader->buffer + reader->begin, reader->end - reader->begin));
        if (parser.Error() != WRL_OK) return parser.Error();
        if (parser.Complete()) break;
        reader->begin = reader->end = 0;  // all taken: the next read starts at the front
        const int rc = ReadSome(reader);
        if (rc != WRL_OK) return rc == WRL_EBROKEN ? rc : int{WRL_EFAIL};
    }
    if (reader->begin == reader->end) reader->begin = reader->end = 0;
    *out = parser.Take();
    return WRL_OK;
}

}  // extern "C"
