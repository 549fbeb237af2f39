// Encoding and incremental parsing of query frames. An item's buffer starts small and
// doubles as its bytes arrive, so memory follows what was received, not what a header
// announces.
#include "wirelay/query_wire.h"

#include <algorithm>
#include <cstring>

#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

constexpr uint32_t kFirstCapacity = 4096;

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

void EncodeQueryHeader(const wrl_query& query, uint8_t* out) {
    out[0] = 'd';
    out[1] = 't';
    out[2] = static_cast<uint8_t>(WRL_QUERY_VERSION);
    out[3] = static_cast<uint8_t>(query.kind);
    Put32(out + 4, query.status);
    Put32(out + 8, query.count);
    Put32(out + 12, query.word1);
    Put32(out + 16, query.word2);
    Put32(out + 20, query.word3);
}

void EncodeItemHeader(const wrl_query_item& item, uint8_t* out) {
    Put32(out, item.table);
    out[4] = static_cast<uint8_t>(item.type);
    Put32(out + 5, item.length);
}

QueryParser::~QueryParser() {
    if (item_ != nullptr) {
        if (item_->data != nullptr) wrl_free(item_->data);
        wrl_free(item_);
    }
    wrl_query_free(query_);
}

uint64_t QueryParser::Need() const {
    const uint64_t later_items = uint64_t{items_} - started_;
    switch (state_) {
        case State::kHeader:
            return WRL_QUERY_HEADER_SIZE - head_got_;
        case State::kItemHeader:
            return WRL_QUERY_ITEM_HEADER_SIZE - head_got_ +
                   later_items * WRL_QUERY_ITEM_HEADER_SIZE;
        case State::kItemData:
            return uint64_t{item_->length} - data_got_ + later_items * WRL_QUERY_ITEM_HEADER_SIZE;
        default:
            return 0;
    }
}

void QueryParser::Fail(int code) {
    state_ = State::kFailed;
    error_ = code;
    if (item_ != nullptr) {
        if (item_->data != nullptr) wrl_free(item_->data);
        wrl_free(item_);
        item_ = nullptr;
    }
    wrl_query_free(query_);
    query_ = nullptr;
}

void QueryParser::StartItemOrFinish() {
    head_got_ = 0;
    if (started_ == items_) {
        state_ = State::kComplete;
        return;
    }
    ++started_;
    state_ = State::kItemHeader;
}

bool QueryParser::Reserve(uint32_t needed) {
    if (needed <= capacity_) return true;
    uint32_t grown = capacity_ == 0 ? kFirstCapacity : capacity_;
    while (grown < needed) grown = grown > UINT32_MAX / 2 ? UINT32_MAX : grown * 2;
    grown = std::min(grown, item_->length);
    auto* bigger = static_cast<uint8_t*>(wrl_malloc(grown));
    if (bigger == nullptr) return false;
    if (data_got_ > 0) std::memcpy(bigger, item_->data, data_got_);
    if (item_->data != nullptr) wrl_free(item_->data);
    item_->data = bigger;
    capacity_ = grown;
    return true;
}

void QueryParser::FinishItem() {
    if (item_->data == nullptr) {
        item_->data = static_cast<uint8_t*>(wrl_malloc(0));  // every item owns a buffer
        if (item_->data == nullptr) {
            Fail(WRL_ENOMEM);
            return;
        }
    }
    if (query_->last != nullptr) {
        query_->last->next = item_;
    } else {
        query_->first = item_;
    }
    query_->last = item_;
    ++query_->count;
    item_ = nullptr;
    StartItemOrFinish();
}

size_t QueryParser::Feed(const uint8_t* data, size_t size) {
    size_t used = 0;
    while (used < size) {
        if (state_ == State::kHeader || state_ == State::kItemHeader) {
            const size_t want =
                (state_ == State::kHeader ? WRL_QUERY_HEADER_SIZE : WRL_QUERY_ITEM_HEADER_SIZE) -
                head_got_;
            const size_t take = std::min(want, size - used);
            std::memcpy(head_ + head_got_, data + used, take);
            head_got_ += take;
            used += take;
            if (take < want) break;
            if (state_ == State::kHeader) {
                if (wrl_query_create(&query_) != WRL_OK) {
                    Fail(WRL_ENOMEM);
                    break;
                }
                query_->magic = uint32_t{head_[0]} | uint32_t{head_[1]} << 8;
                query_->version = head_[2];
                query_->kind = head_[3];
                query_->status = Get32(head_ + 4);
                items_ = Get32(head_ + 8);
                query_->word1 = Get32(head_ + 12);
                query_->word2 = Get32(head_ + 16);
                query_->word3 = Get32(head_ + 20);
                // Mismatch replies carry no items, whatever their count says.
                if (query_->status == WRL_EPROTOCOL || query_->status == WRL_EVERSION) items_ = 0;
                StartItemOrFinish();
            } else {
                item_ = static_cast<wrl_query_item*>(wrl_calloc(sizeof(wrl_query_item)));
                if (item_ == nullptr) {
                    Fail(WRL_ENOMEM);
                    break;
                }
                item_->table = Get32(head_);
                item_->type = head_[4];
                item_->length = Get32(head_ + 5);
                capacity_ = 0;
                data_got_ = 0;
                state_ = State::kItemData;
                if (item_->length == 0) FinishItem();
            }
        } else if (state_ == State::kItemData) {
            const uint32_t left = item_->length - data_got_;
            const auto take = static_cast<uint32_t>(std::min<size_t>(left, size - used));
            if (!Reserve(data_got_ + take)) {
                Fail(WRL_ENOMEM);
                break;
            }
            std::memcpy(item_->data + data_got_, data + used, take);
            data_got_ += take;
            used += take;
            if (data_got_ == item_->length) FinishItem();
        } else {
            break;
        }
    }
    return used;
}

wrl_query* QueryParser::Take() {
    if (state_ != State::kComplete) return nullptr;
    wrl_query* q = query_;
    query_ = nullptr;
    return q;
}

}  // namespace wrl
