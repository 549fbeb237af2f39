// Id range mapper: construction, ranges and id translation, cleaning and release of the
// store mapper. The file format lives in id_range_mapper_file.cpp.
#include "dbv/id_range_mapper.h"

#include <climits>

#include "dbv/domain_and_events.h"
#include "dbv/domain_registry.h"
#include "dbv/id_range_mapper_internal.h"
#include "outside/assert_log.h"

namespace dbv {

namespace detail {

namespace {
bool s_unloading = false;
}

StoreMapperSlot::~StoreMapperSlot() {
    if (handle != nullptr && !s_unloading) {
        dbv_deleteidrangemapper(handle);
    }
}

void MarkLibraryUnloading() {
    s_unloading = true;
}

}  // namespace detail

namespace {
constexpr const char* kSource = "dbv_id_range_mapper";
}

IdRangeMapper_c::IdRangeMapper_c() {
    DomainAndEvents_c container;
    dbv_domain_s* domain = nullptr;
    if (GetCurrentDomainAndEvents(container) && container.GetDomain(&domain)) {
        AttachToDomain(domain);
    }
}

IdRangeMapper_c::IdRangeMapper_c(dbv_domain_s* domain) {
    AttachToDomain(domain);
}

IdRangeMapper_c::IdRangeMapper_c(const char* database) {
    DomainAndEvents_c container;
    dbv_domain_s* domain = nullptr;
    if (GetDomainAndEvents(database, container) && container.GetDomain(&domain)) {
        AttachToDomain(domain);
    }
}

IdRangeMapper_c::IdRangeMapper_c(const IdRangeMapper_c& other) {
    *this = other;
}

IdRangeMapper_c::~IdRangeMapper_c() = default;

IdRangeMapper_c& IdRangeMapper_c::operator=(const IdRangeMapper_c& other) {
    if (this != &other) {
        oldMaxId_ = other.oldMaxId_;
        domain_ = other.domain_;
        mapper_ = other.mapper_;
    }
    return *this;
}

void IdRangeMapper_c::AttachToDomain(dbv_domain_s* domain) {
    if (domain == nullptr) {
        return;
    }
    domain_ = domain;
    dbv_idrangemapper_s* storeMapper = nullptr;
    if (dbv_createidrangemapper(&storeMapper) != 0 || storeMapper == nullptr) {
        QM_ASSERT(!"Creating id range mapper failed!", kSource);
        return;
    }
    try {
        mapper_ = std::make_shared<detail::StoreMapperSlot>(storeMapper);
    } catch (...) {  // std::bad_alloc
        dbv_deleteidrangemapper(storeMapper);
        QM_ASSERT(!"Creating id range mapper failed!", kSource);
    }
}

dbv_idrangemapper_s* IdRangeMapper_c::StoreMapper() const {
    return mapper_ ? mapper_->handle : nullptr;
}

bool IdRangeMapper_c::AddRange(int32_t first, int32_t last) {
    dbv_idrangemapper_s* storeMapper = StoreMapper();
    if (domain_ == nullptr || storeMapper == nullptr) {
        return false;
    }
    // Callers rely on the old maximum id following every request, granted or not.
    oldMaxId_ = last;
    // last - first overflows 32 bits for ranges that straddle zero widely.
    const int64_t count = static_cast<int64_t>(last) - static_cast<int64_t>(first);
    int32_t newFirst = 0;
    if (count < 1 || count > INT32_MAX ||
        dbv_newidrange(domain_, static_cast<int32_t>(count), &newFirst) != 0) {
        QM_ASSERT(!"Getting new id range failed", kSource);
        return false;
    }
    if (dbv_idrangemapper_map(storeMapper, domain_, first, newFirst, static_cast<int32_t>(count)) !=
        0) {
        QM_ASSERT(!"Id range mapper failed to map the ids", kSource);
        return false;
    }
    return true;
}

int32_t IdRangeMapper_c::GetOldMaxId() const {
    return oldMaxId_;
}

int32_t IdRangeMapper_c::GetNewId(int32_t oldId) const {
    dbv_idrangemapper_s* storeMapper = StoreMapper();
    if (domain_ == nullptr || storeMapper == nullptr) {
        return oldId;
    }
    dbv_guid_s guid{};
    if (dbv_idrangemapper_idtoguid(storeMapper, oldId, &guid) != 0) {
        QM_ASSERT(!"Id range mapping failed", kSource);
        return oldId;
    }
    int32_t result = oldId;
    if (dbv_guidtotimeid(domain_, &guid, &result) != 0) {
        QM_ASSERT(!"Guid id to time id mapping failed", kSource);
    }
    return result;
}

int32_t IdRangeMapper_c::TryGetNewId(int32_t oldId) const {
    dbv_idrangemapper_s* storeMapper = StoreMapper();
    if (domain_ == nullptr || storeMapper == nullptr) {
        return 0;
    }
    int32_t result = 0;
    dbv_guid_s guid{};
    if (dbv_idrangemapper_idtoguid(storeMapper, oldId, &guid) == 0 &&
        dbv_guidtotimeid(domain_, &guid, &result) != 0) {
        result = 0;
    }
    return result;
}

bool IdRangeMapper_c::Clean() {
    dbv_idrangemapper_s* storeMapper = StoreMapper();
    if (storeMapper == nullptr) {
        return true;
    }
    if (dbv_deleteidrangemapper(storeMapper) != 0) {
        QM_ASSERT(!"Cleaning range mapper failed!", kSource);
    } else {
        // Forget the released mapper before asking for a new one, so that a failed
        // re-creation leaves nothing behind to be released a second time.
        mapper_->handle = nullptr;
        dbv_idrangemapper_s* fresh = nullptr;
        if (dbv_createidrangemapper(&fresh) != 0 || fresh == nullptr) {
            QM_ASSERT(!"Re-creating id range mapper failed!", kSource);
        } else {
            mapper_->handle = fresh;
        }
    }
    oldMaxId_ = 0;
    return true;
}

bool IdRangeMapper_c::FreeIdRangeMapper() {
    dbv_idrangemapper_s* storeMapper = StoreMapper();
    if (storeMapper == nullptr) {
        return true;
    }
    const int result = dbv_deleteidrangemapper(storeMapper);
    mapper_->handle = nullptr;
    mapper_.reset();
    return result == 0;
}

}  // namespace dbv
