// Open-addressing multimap from leaf id to leaf place (see srch_leaf_index.h). Buckets
// double when three quarters are in use; Fibonacci hashing spreads consecutive ids.
#include "searchtree/srch_leaf_index.h"

#include <cstdlib>

namespace srch_detail {
namespace {

uint32_t Position(const LeafPlace& place) {
    return place.slot * 2 + (place.big ? 1 : 0);
}

}  // namespace

LeafIndex::~LeafIndex() {
    std::free(m_records);
}

size_t LeafIndex::Home(int32_t id) const {
    return size_t((uint64_t(uint32_t(id)) * 0x9E3779B97F4A7C15ull) >> m_shift);
}

bool LeafIndex::Grow() {
    const size_t capacity = m_capacity ? m_capacity * 2 : kInitialBuckets;
    auto* records = static_cast<Record*>(std::calloc(capacity, sizeof(Record)));
    if (!records) return false;
    Record* old = m_records;
    const size_t old_capacity = m_capacity;
    m_records = records;
    m_capacity = capacity;
    m_shift = 64 - unsigned(__builtin_ctzll(capacity));
    for (size_t i = 0; i < old_capacity; ++i) {
        if (old[i].id == 0) continue;
        size_t b = Home(old[i].id);
        while (m_records[b].id != 0) b = (b + 1) & (m_capacity - 1);
        m_records[b] = old[i];
    }
    std::free(old);
    return true;
}

bool LeafIndex::Insert(int32_t id, const LeafPlace& place) {
    if ((m_count + 1) * 4 > m_capacity * 3 && !Grow()) return false;
    size_t b = Home(id);
    while (m_records[b].id != 0) b = (b + 1) & (m_capacity - 1);
    m_records[b] = Record{id, Position(place), place.node};
    ++m_count;
    return true;
}

long LeafIndex::Locate(int32_t id, const LeafPlace& place) const {
    if (m_count == 0) return -1;
    const uint32_t position = Position(place);
    for (size_t b = Home(id); m_records[b].id != 0; b = (b + 1) & (m_capacity - 1)) {
        const Record& r = m_records[b];
        if (r.id == id && r.node == place.node && r.position == position) return long(b);
    }
    return -1;
}

bool LeafIndex::FindAny(int32_t id, LeafPlace* place) const {
    if (m_count == 0 || id == 0) return false;
    for (size_t b = Home(id); m_records[b].id != 0; b = (b + 1) & (m_capacity - 1)) {
        const Record& r = m_records[b];
        if (r.id == id) {
            *place = LeafPlace{r.node, r.position / 2, (r.position & 1) != 0};
            return true;
        }
    }
    return false;
}

bool LeafIndex::Update(int32_t id, const LeafPlace& from, const LeafPlace& to) {
    const long b = Locate(id, from);
    if (b < 0) return false;
    m_records[b].node = to.node;
    m_records[b].position = Position(to);
    return true;
}

bool LeafIndex::Erase(int32_t id, const LeafPlace& place) {
    const long b = Locate(id, place);
    if (b < 0) return false;
    RemoveAt(size_t(b));
    return true;
}

void LeafIndex::RemoveAt(size_t hole) {
    // Backward shift: pull later records of the probe run into the hole when that does not
    // put them before their home bucket, so that no tombstones are needed.
    const size_t mask = m_capacity - 1;
    for (size_t j = (hole + 1) & mask; m_records[j].id != 0; j = (j + 1) & mask) {
        const size_t home = Home(m_records[j].id);
        if (((j - home) & mask) >= ((j - hole) & mask)) {
            m_records[hole] = m_records[j];
            hole = j;
        }
    }
    m_records[hole] = Record{};
    --m_count;
}

void LeafIndex::Reset() {
    std::free(m_records);
    m_records = nullptr;
    m_capacity = 0;
    m_shift = 64;
    m_count = 0;
    Grow();  // the initial buckets; a failure here only delays them to the next insertion
}

void LeafIndex::ClearKeepingBuckets() {
    for (size_t i = 0; i < m_capacity; ++i) m_records[i] = Record{};
    m_count = 0;
}

}  // namespace srch_detail
