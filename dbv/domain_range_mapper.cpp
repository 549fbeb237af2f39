// Domain and events container: the domain's id range mapper and the domain's id statistics.
#include "dbv/domain_and_events.h"
#include "dbv/domain_statistics_internal.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "dbd_domain_and_events";

}  // namespace

bool DomainAndEvents_c::InitRangeMapper() {
    if (rangeMapper_) {
        return true;
    }
    try {
        rangeMapper_ = std::make_shared<IdRangeMapper_c>(domain_);
    } catch (...) {  // std::bad_alloc
        return false;
    }
    changed_ = true;
    return true;
}

bool DomainAndEvents_c::SetRangeMapper(const char* fileName) {
    if (!rangeMapper_ || !rangeMapper_->ReadFromFile(fileName)) {
        return false;
    }
    changed_ = true;
    return true;
}

bool DomainAndEvents_c::AddRangeToRangeMapper(int32_t first, int32_t last) {
    return rangeMapper_ && rangeMapper_->AddRange(first, last);
}

bool DomainAndEvents_c::GetRangeMapperMaxId(int32_t* id) const {
    if (!rangeMapper_ || id == nullptr) {
        return false;
    }
    *id = rangeMapper_->GetOldMaxId();
    return *id >= 0;
}

bool DomainAndEvents_c::GetRangeMapperNewId(int32_t oldId, int32_t* newId) const {
    if (!rangeMapper_ || newId == nullptr) {
        return false;
    }
    *newId = rangeMapper_->GetNewId(oldId);
    return *newId >= 0;
}

bool DomainAndEvents_c::GetRangeMapper(IdRangeMapper_c** mapper) const {
    if (!rangeMapper_ || mapper == nullptr) {
        return false;
    }
    *mapper = rangeMapper_.get();
    return true;
}

bool DomainAndEvents_c::WriteRangeMapper(const char* fileName) const {
    // A mapper that never mapped anything has nothing worth a file.
    if (!rangeMapper_ || rangeMapper_->GetOldMaxId() < 1) {
        return false;
    }
    return rangeMapper_->WriteToFile(fileName);
}

bool DomainAndEvents_c::GetIdStatisticsFromDomain(int32_t* base, int32_t* count) const {
    dbv_domain_s* domain = nullptr;
    dbv_statistics_s* statistics = nullptr;
    if (base == nullptr || count == nullptr || !GetDomain(&domain) || domain == nullptr ||
        dbv_getdomainstatistics(domain, &statistics) != 0 || statistics == nullptr) {
        QM_ASSERT(!"Could not get statistics", kSource);
        return false;
    }
    double baseValue = 0;
    double countValue = 0;
    int32_t baseOut = 0;
    int32_t countOut = 0;
    const bool ok = dbv_getstatistics(statistics, "CompactedIdBase", &baseValue) == 0 &&
                    dbv_getstatistics(statistics, "CompactedIdCount", &countValue) == 0 &&
                    detail::StatisticToInt32(baseValue, &baseOut) &&
                    detail::StatisticToInt32(countValue, &countOut);
    dbv_deletestatistics(statistics);
    if (!ok) {
        QM_ASSERT(!"Could not get statistics", kSource);
        return false;
    }
    *base = baseOut;
    *count = countOut;
    return true;
}

}  // namespace dbv
