// The query frame's bytes: encoding its header and item headers, and a socket-free parser
// that turns the bytes of one query into a wrl_query as they arrive. The parser always
// knows how many bytes the query still needs at least, so a reader can ask for exactly
// that many and never read into whatever follows the query on the stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wirelay/query.h"

namespace wrl {

// Writes the 24-byte header. REQUIRES `out` holds WRL_QUERY_HEADER_SIZE bytes.
void EncodeQueryHeader(const wrl_query& query, uint8_t* out);
// Writes the 9-byte item header. REQUIRES `out` holds WRL_QUERY_ITEM_HEADER_SIZE bytes.
void EncodeItemHeader(const wrl_query_item& item, uint8_t* out);

class QueryParser {
  public:
    QueryParser() = default;
    QueryParser(const QueryParser&) = delete;
    QueryParser& operator=(const QueryParser&) = delete;
    ~QueryParser();

    // Bytes the query surely still needs (its rest may be longer); 0 once it is complete
    // or parsing failed.
    uint64_t Need() const;
    // Takes bytes of the query from the front of `data`, never beyond the query's end.
    // Returns how many it took (fewer than `size` only once complete or failed).
    size_t Feed(const uint8_t* data, size_t size);

    bool Complete() const { return state_ == State::kComplete; }
    // WRL_OK while parsing goes on or after completion; WRL_ENOMEM after a failure.
    int Error() const { return error_; }
    // The complete query, handed to the caller (null when not complete).
    wrl_query* Take();
    // Bytes held for the item being read (diagnostics: never far above what arrived).
    uint32_t ItemCapacity() const { return capacity_; }

  private:
    enum class State { kHeader, kItemHeader, kItemData, kComplete, kFailed };

    void Fail(int code);
    void StartItemOrFinish();
    bool Reserve(uint32_t needed);
    void FinishItem();

    State state_ = State::kHeader;
    int error_ = 0;
    uint8_t head_[WRL_QUERY_HEADER_SIZE] = {};
    size_t head_got_ = 0;
    wrl_query* query_ = nullptr;
    uint32_t items_ = 0;              // items announced
    uint32_t started_ = 0;            // items whose header is being read or done
    wrl_query_item* item_ = nullptr;  // the item whose data is being read
    uint32_t capacity_ = 0;           // bytes allocated for item_'s data
    uint32_t data_got_ = 0;
};

}  // namespace wrl
