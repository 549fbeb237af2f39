// Open-addressing multimap from object address to node (see object_index.h). Buckets
// double when three quarters are in use; Fibonacci hashing of the address without its
// alignment bits spreads neighbouring objects.
#include "searchtree/object_index.h"

#include <cstdlib>

namespace searchtree {

ObjectIndex::~ObjectIndex() {
    std::free(m_records);
}

size_t ObjectIndex::Home(const void* object) const {
    const uint64_t key = uint64_t(reinterpret_cast<uintptr_t>(object)) >> 3;
    return size_t((key * 0x9E3779B97F4A7C15ull) >> m_shift);
}

bool ObjectIndex::Grow() {
    const size_t capacity = m_capacity ? m_capacity * 2 : 16;
    auto* records = static_cast<Record*>(std::calloc(capacity, sizeof(Record)));
    if (!records) return false;
    Record* old = m_records;
    const size_t old_capacity = m_capacity;
    m_records = records;
    m_capacity = capacity;
    m_shift = 64 - unsigned(__builtin_ctzll(capacity));
    for (size_t i = 0; i < old_capacity; ++i) {
        if (!old[i].object) continue;
        size_t b = Home(old[i].object);
        while (m_records[b].object) b = Next(b);
        m_records[b] = old[i];
    }
    std::free(old);
    return true;
}

bool ObjectIndex::Insert(const void* object, void* node) {
    if ((m_count + 1) * 4 > m_capacity * 3 && !Grow()) return false;
    size_t b = Home(object);
    while (m_records[b].object) b = Next(b);
    m_records[b] = Record{object, node};
    ++m_count;
    return true;
}

size_t ObjectIndex::EraseAll(const void* object) {
    if (m_count == 0 || !object) return 0;
    size_t erased = 0;
    size_t b = Home(object);
    while (m_records[b].object) {
        if (m_records[b].object == object) {
            // The shift may pull a later record of the same object into this bucket, so the
            // bucket is looked at again.
            RemoveAt(b);
            ++erased;
        } else {
            b = Next(b);
        }
    }
    return erased;
}

void ObjectIndex::RemoveAt(size_t hole) {
    // Backward shift: pull later records of the probe run into the hole when that does not
    // put them before their home bucket, so that no tombstones are needed.
    const size_t mask = m_capacity - 1;
    for (size_t j = Next(hole); m_records[j].object; j = Next(j)) {
        const size_t home = Home(m_records[j].object);
        if (((j - home) & mask) >= ((j - hole) & mask)) {
            m_records[hole] = m_records[j];
            hole = j;
        }
    }
    m_records[hole] = Record{};
    --m_count;
}

}  // namespace searchtree
