// The object index of a quadtree: for every stored entry, the node that holds it. An
// object may be stored more than once, so the index is a multimap; deletion and class
// changes visit every record of the object. Open addressing with linear probing and
// backward-shift deletion keeps a record at 16 bytes with no allocation per entry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace searchtree {

class ObjectIndex {
  public:
    ObjectIndex() = default;
    ~ObjectIndex();
    ObjectIndex(const ObjectIndex&) = delete;
    ObjectIndex& operator=(const ObjectIndex&) = delete;

    // Adds the record (object, node). False when memory runs out (nothing changed).
    // REQUIRES: object != null.
    bool Insert(const void* object, void* node);
    // Calls visit(node) for every record of the object, in no particular order.
    template <typename Visit>
    void ForEach(const void* object, Visit visit) const;
    // Removes every record of the object; gives how many there were.
    size_t EraseAll(const void* object);

    size_t Count() const { return m_count; }
    size_t MemoryBytes() const { return m_capacity * sizeof(Record); }

  private:
    struct Record {
        const void* object;  // null: free bucket
        void* node;
    };

    size_t Home(const void* object) const;
    size_t Next(size_t bucket) const { return (bucket + 1) & (m_capacity - 1); }
    bool Grow();
    void RemoveAt(size_t bucket);

    Record* m_records = nullptr;
    size_t m_capacity = 0;  // a power of two, or 0 before the first insertion
    unsigned m_shift = 64;
    size_t m_count = 0;
};

template <typename Visit>
void ObjectIndex::ForEach(const void* object, Visit visit) const {
    if (m_count == 0 || !object) return;
    for (size_t b = Home(object); m_records[b].object; b = Next(b)) {
        if (m_records[b].object == object) visit(m_records[b].node);
    }
}

}  // namespace searchtree
