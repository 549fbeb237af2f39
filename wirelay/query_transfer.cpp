// Sending, receiving and acknowledging queries over an endpoint. Sending stages the frame
// in a buffer and writes it piecewise (a query of up to 64 KiB in one piece); receiving reads only
// as many bytes as the query is known to still need, so the bytes after it stay on the stream for
// whoever reads next.
#include <algorithm>
#include <cstring>

#include "wirelay/endpoint.h"
#include "wirelay/io_core.h"
#include "wirelay/query.h"
#include "wirelay/query_wire.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace {

constexpr size_t kStageSize = 8192;
constexpr size_t kWholeStageSize = 64 * 1024;
// The most one read of a receive asks for; an item's own buffer grows separately.
constexpr uint32_t kReadChunk = 64 * 1024;

}  // namespace

extern "C" {

int wrl_query_send(wrl_net* ep, const wrl_query* query) {
    if (ep == nullptr || query == nullptr) return WRL_EFAIL;
    wrl_query header = *query;
    header.count = 0;
    size_t total = WRL_QUERY_HEADER_SIZE;
    for (const wrl_query_item* item = query->first; item != nullptr; item = item->next) {
        ++header.count;  // the items that follow, whatever the count field was set to
        total += WRL_QUERY_ITEM_HEADER_SIZE + size_t{item->length};
    }
    const size_t first = query->first != nullptr ? query->first->length : 0;
    size_t capacity =
        std::max(kStageSize, WRL_QUERY_HEADER_SIZE + WRL_QUERY_ITEM_HEADER_SIZE + first);
    // A query that fits the larger stage leaves in one write: each further write can cost
    // the receiver a wake-up of its own.
    if (total <= kWholeStageSize) capacity = std::max(capacity, total);
    auto* stage = static_cast<uint8_t*>(wrl_malloc(capacity));
    if (stage == nullptr) return WRL_ENOMEM;
    wrl::EncodeQueryHeader(header, stage);
    size_t filled = WRL_QUERY_HEADER_SIZE;
    int rc = WRL_OK;
    for (const wrl_query_item* item = query->first; item != nullptr && rc == WRL_OK;
         item = item->next) {
        const size_t need = WRL_QUERY_ITEM_HEADER_SIZE + size_t{item->length};
        if (need > capacity - filled) {
            if (filled > 0) rc = wrl_net_write(ep, stage, static_cast<uint32_t>(filled));
            filled = 0;
            if (rc != WRL_OK) break;
            if (need > capacity) {
                wrl_free(stage);
                capacity = need;
                stage = static_cast<uint8_t*>(wrl_malloc(capacity));
                if (stage == nullptr) return WRL_ENOMEM;
            }
        }
        wrl::EncodeItemHeader(*item, stage + filled);
        if (item->length > 0) {
            std::memcpy(stage + filled + WRL_QUERY_ITEM_HEADER_SIZE, item->data, item->length);
        }
        filled += need;
    }
    if (rc == WRL_OK && filled > 0) rc = wrl_net_write(ep, stage, static_cast<uint32_t>(filled));
    wrl_free(stage);
    return rc;
}

int wrl_query_receive(wrl_net* ep, wrl_query** out) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    if (ep == nullptr) return WRL_EFAIL;
    if (wrl_net_queued(ep, WRL_NET_READ)) {
        io_log("wrl_query_receive: a read is already queued\n");
        return WRL_EFAIL;
    }
    wrl::QueryParser parser;
    uint8_t header[WRL_QUERY_HEADER_SIZE];
    uint8_t* scratch = header;
    uint32_t scratch_size = sizeof header;
    int rc = WRL_OK;
    while (!parser.Complete()) {
        const auto want = static_cast<uint32_t>(std::min<uint64_t>(parser.Need(), kReadChunk));
        if (want > scratch_size) {
            if (scratch != header) wrl_free(scratch);
            scratch_size = std::max(want, std::min<uint32_t>(kReadChunk, scratch_size * 4));
            scratch = static_cast<uint8_t*>(wrl_malloc(scratch_size));
            if (scratch == nullptr) {
                rc = WRL_ENOMEM;
                break;
            }
        }
        rc = wrl_net_read(ep, scratch, want);
        if (rc != WRL_OK) break;
        parser.Feed(scratch, want);
        if (parser.Error() != WRL_OK) {
            rc = parser.Error();
            break;
        }
    }
    if (scratch != header && scratch != nullptr) wrl_free(scratch);
    if (rc != WRL_OK) return rc == WRL_ENOMEM || rc == WRL_EBROKEN ? rc : int{WRL_EFAIL};
    *out = parser.Take();
    return WRL_OK;
}

int wrl_query_ack(wrl_net* ep, const wrl_query* query) {
    if (ep == nullptr || query == nullptr) return WRL_EFAIL;
    if (query->kind == 2) return WRL_OK;  // identify queries are not acknowledged
    wrl_query ack{};
    ack.kind = 1;
    ack.status = query->status;
    ack.word1 = query->word1;
    ack.word2 = query->word2;
    ack.word3 = query->word3;
    uint8_t bytes[WRL_QUERY_HEADER_SIZE];
    wrl::EncodeQueryHeader(ack, bytes);
    return wrl_net_write(ep, bytes, sizeof bytes);
}

}  // extern "C"
