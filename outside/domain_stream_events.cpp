// One event container in a stream. Block layout, little-endian:
//   0  magic "QDEV"   4  format version (1)   8  guid prefix of the domain (12 bytes)
//   20 event count    24 CRC-32 of bytes 0..23
//   28 the events in number order: time id, description length (0xffffffff: none), the
//      description's bytes without terminator
//   .. CRC-32 of everything before it
// Events keep their time ids, so the read places them itself instead of through
// dbv_createevent (which would hand out fresh ids); the new container is entered in the
// store only once every event is built.
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "outside/domain_stream_internal.h"
#include "outside/store_seams.h"

using domain_store::store;

namespace {

constexpr uint8_t kMagic[4] = {'Q', 'D', 'E', 'V'};
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kNoDescription = 0xffffffffu;

struct ReadEvent {
    int32_t time_id = 0;
    std::unique_ptr<char[]> description;
};

bool read_event(domain_stream::BlockReader& reader, dbv_domain_s* domain,
                std::vector<uint8_t>& scratch, ReadEvent* event) {
    uint32_t time_id = 0;
    uint32_t length = 0;
    if (!reader.u32(&time_id) || !reader.u32(&length)) return false;
    dbv_guid_s guid;
    if (time_id == 0 || time_id > INT32_MAX || dbv_timeidtoguid(domain, time_id, &guid) != 0) {
        return false;  // an id the domain does not know
    }
    event->time_id = static_cast<int32_t>(time_id);
    if (length == kNoDescription) return true;
    if (!reader.grow_bytes(scratch, length)) return false;
    if (!scratch.empty() && std::memchr(scratch.data(), 0, scratch.size()) != nullptr) return false;
    event->description = std::make_unique<char[]>(scratch.size() + 1);
    if (!scratch.empty()) std::memcpy(event->description.get(), scratch.data(), scratch.size());
    event->description[scratch.size()] = '\0';
    return true;
}

// Enters a container with `events` into the domain. All or nothing.
dbv_domainevents_s* enter_container(dbv_domain_s* domain, std::vector<ReadEvent>& events) {
    auto& s = store();
    domain_store::Domain* d = domain_store::find_domain(domain);
    domain_store::reserve_one_more(d->container_slots);
    domain_store::EventContainer container;
    container.domain_slot = s.domains.slot_of(domain_store::from_handle(domain));
    container.event_slots.reserve(events.size());
    const uint64_t handle = s.containers.add(std::move(container));
    if (handle == 0) return nullptr;
    const uint32_t container_slot = s.containers.slot_of(handle);
    try {
        for (ReadEvent& read : events) {
            domain_store::Event event;
            event.container_slot = container_slot;
            event.time_id = read.time_id;
            event.description = std::move(read.description);
            const uint64_t event_handle = s.events.add(std::move(event));
            if (event_handle == 0) throw std::bad_alloc();
            // Reserved above: cannot throw.
            s.containers.at_slot(container_slot)
                .event_slots.push_back(s.events.slot_of(event_handle));
        }
    } catch (...) {
        domain_store::release_container(container_slot);
        return nullptr;
    }
    d->container_slots.push_back(container_slot);  // reserved above: cannot throw
    return domain_store::to_handle<dbv_domainevents_s>(handle);
}

// The recent headers of dbv_read_domain and their domains, newest last.
struct HeaderDomain {
    dbv_domainheader_s* header = nullptr;
    dbv_domain_s* domain = nullptr;
};
std::array<HeaderDomain, 16> g_headers;
size_t g_next_header = 0;

}  // namespace

void domain_stream::remember_header(dbv_domainheader_s* header, dbv_domain_s* domain) {
    for (HeaderDomain& entry : g_headers) {
        if (entry.header == header) entry = HeaderDomain{};  // an address used again
    }
    g_headers[g_next_header] = HeaderDomain{header, domain};
    g_next_header = (g_next_header + 1) % g_headers.size();
}

dbv_domain_s* domain_stream::header_domain(dbv_domainheader_s* header) {
    if (header == nullptr) return nullptr;
    for (const HeaderDomain& entry : g_headers) {
        if (entry.header == header) return entry.domain;
    }
    return nullptr;
}

int dbv_write_domainevents(FILE* stream, dbv_domainevents_s* events) {
    if (store_seams::ShouldFail("dbv_write_domainevents") || stream == nullptr) return 1;
    auto& s = store();
    const domain_store::EventContainer* container =
        s.containers.get(domain_store::from_handle(events));
    if (container == nullptr) return 1;
    const domain_store::Domain& domain = s.domains.at_slot(container->domain_slot);
    try {
        domain_stream::BlockWriter block;
        block.bytes(kMagic, 4);
        block.u32(kFormatVersion);
        block.bytes(domain.prefix.data(), domain.prefix.size());
        block.u32(static_cast<uint32_t>(container->event_slots.size()));
        block.crc();
        for (const uint32_t slot : container->event_slots) {
            const domain_store::Event& event = s.events.at_slot(slot);
            block.u32(static_cast<uint32_t>(event.time_id));
            const char* text = event.description.get();
            const size_t length = text != nullptr ? std::strlen(text) : 0;
            if (text != nullptr && length >= kNoDescription) return 1;
            block.u32(text != nullptr ? static_cast<uint32_t>(length) : kNoDescription);
            block.bytes(text, length);
        }
        block.crc();
        return block.write_to(stream) ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

int dbv_read_domainevents(FILE* stream, dbv_domainheader_s* header, dbv_domainevents_s** events) {
    if (store_seams::ShouldFail("dbv_read_domainevents") || stream == nullptr ||
        events == nullptr) {
        return 1;
    }
    dbv_domain_s* domain = domain_stream::header_domain(header);
    const domain_store::Domain* d = domain_store::find_domain(domain);
    if (d == nullptr) return 1;
    try {
        domain_stream::BlockReader reader(stream);
        uint8_t magic[4];
        domain_store::GuidPrefix prefix{};
        uint32_t version = 0;
        uint32_t count = 0;
        if (!reader.bytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0) return 1;
        if (!reader.u32(&version) || !reader.bytes(prefix.data(), prefix.size())) return 1;
        if (!reader.u32(&count) || !reader.check_crc()) return 1;
        if (version != kFormatVersion || prefix != d->prefix) return 1;
        // Every event takes at least 8 bytes, and the vector grows only as they arrive.
        std::vector<ReadEvent> read;
        std::vector<uint8_t> scratch;
        for (uint32_t i = 0; i < count; ++i) {
            ReadEvent event;
            if (!read_event(reader, domain, scratch, &event)) return 1;
            read.push_back(std::move(event));
        }
        if (!reader.check_crc()) return 1;
        dbv_domainevents_s* made = enter_container(domain, read);
        if (made == nullptr) return 1;
        *events = made;
        return 0;
    } catch (...) {
        return 1;
    }
}
