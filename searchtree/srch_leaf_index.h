// The id index of a numbered search tree: for every stored leaf, which node holds it and
// where. An id may be stored more than once, so the index is a multimap; removing an id
// visits all of its places. Open addressing with linear probing and backward-shift
// deletion keeps a record at 16 bytes with no allocation per leaf.
#pragma once

#include <cstddef>
#include <cstdint>

namespace srch_detail {

struct OctNode;

// Where a leaf is: its node, its slot in one of the node's two leaf arrays.
struct LeafPlace {
    OctNode* node;
    uint32_t slot;
    bool big;  // in the node's big-leaf array rather than its child-leaf array

    bool operator==(const LeafPlace&) const = default;
};

class LeafIndex {
  public:
    LeafIndex() = default;
    ~LeafIndex();
    LeafIndex(const LeafIndex&) = delete;
    LeafIndex& operator=(const LeafIndex&) = delete;

    // Adds a record. False when memory runs out (nothing changed). REQUIRES: id != 0.
    bool Insert(int32_t id, const LeafPlace& place);
    // The place of one record of the id (any of them). False when there is none.
    bool FindAny(int32_t id, LeafPlace* place) const;
    // Moves the record (id, from) to `to`. False when there is no such record.
    bool Update(int32_t id, const LeafPlace& from, const LeafPlace& to);
    // Removes the record (id, place). False when there is no such record.
    bool Erase(int32_t id, const LeafPlace& place);
    // Forgets every record and goes back to the initial 8 buckets.
    void Reset();
    // Forgets every record but keeps the buckets, so that as many records as before can be
    // added again without allocating.
    void ClearKeepingBuckets();

    size_t Count() const { return m_count; }
    size_t Buckets() const { return m_capacity; }
    size_t MemoryBytes() const { return m_capacity * sizeof(Record); }

  private:
    struct Record {
        int32_t id;         // 0: free bucket
        uint32_t position;  // slot * 2 + big
        OctNode* node;
    };
    static constexpr size_t kInitialBuckets = 8;

    size_t Home(int32_t id) const;
    bool Grow();
    long Locate(int32_t id, const LeafPlace& place) const;
    void RemoveAt(size_t bucket);

    Record* m_records = nullptr;
    size_t m_capacity = 0;  // a power of two, or 0 before the first insertion
    unsigned m_shift = 64;
    size_t m_count = 0;
};

}  // namespace srch_detail
