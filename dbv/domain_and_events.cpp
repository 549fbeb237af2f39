// Domain and events container: construction, copying, the domain, the list of event
// containers by level and the run-time event container. Event lookups by name live in
// domain_events.cpp, the range mapper and statistics in domain_range_mapper.cpp.
#include "dbv/domain_and_events.h"

#include <new>

#include "outside/assert_log.h"

namespace dbv {

namespace {
constexpr const char* kSource = "dbd_domain_and_events";
// The report's text is the failed condition as written, quotes included.
constexpr const char* kUnstoredText =
    "!\"Domain and events container was changed but the changes were not stored with Modify or "
    "Add.\"";
}  // namespace

// Without memory for the list the container starts as one after Clear: it has no list.
DomainAndEvents_c::DomainAndEvents_c()
    : domainEvents_(new (std::nothrow) std::vector<dbv_domainevents_s*>()) {}

DomainAndEvents_c::DomainAndEvents_c(const DomainAndEvents_c& other) : DomainAndEvents_c() {
    *this = other;
}

DomainAndEvents_c& DomainAndEvents_c::operator=(const DomainAndEvents_c& other) {
    if (this == &other) {
        return *this;
    }
    other.GetDomain(&domain_);
    // A source without run-time container or mapper leaves this object's own in place:
    // stored entries keep theirs when a copy without them is added back.
    other.GetRuntimeDomainEvents(&runtimeDomainEvents_);
    if (other.rangeMapper_) {
        rangeMapper_ = other.rangeMapper_;
    }
    if (CreateDomainEventsArray()) {
        domainEvents_->clear();
        const int32_t levels = other.GetDomainEventsCount();
        for (int32_t level = 0; level < levels; ++level) {
            dbv_domainevents_s* events = nullptr;
            if (other.GetDomainEvents(static_cast<DomainEventLevel_e>(level), &events)) {
                AddDomainEvents(events);
            }
        }
    }
    changed_ = false;
    return *this;
}

DomainAndEvents_c::~DomainAndEvents_c() {
    if (changed_) {
        mainCheckAssertion(false, kUnstoredText, kSource, __LINE__);
    }
}

bool DomainAndEvents_c::CreateDomainEventsArray() {
    if (!domainEvents_) {
        domainEvents_.reset(new (std::nothrow) std::vector<dbv_domainevents_s*>());
    }
    return static_cast<bool>(domainEvents_);
}

bool DomainAndEvents_c::Clear(bool deleteDomain) {
    bool result = DeleteAllDomainEvents();
    if (result) {
        domainEvents_.reset();
    }
    result &= DeleteAllRuntimeDomainEvents();
    if (deleteDomain) {
        result &= DeleteDomain();
    }
    ResetChangeStatus();
    if (!result) {
        mainCheckAssertion(false, "Result", kSource, __LINE__);
    }
    return result;
}

bool DomainAndEvents_c::SetDomain(dbv_domain_s* domain) {
    domain_ = domain;
    changed_ = true;
    return true;
}

bool DomainAndEvents_c::GetDomain(dbv_domain_s** domain) const {
    if (domain == nullptr) {
        return false;
    }
    *domain = domain_;
    return true;
}

bool DomainAndEvents_c::DeleteDomain() {
    if (domain_ == nullptr) {
        return true;
    }
    // Other holders of the mapper (copies, the stored entry) keep the object but lose its
    // store mapper, so nothing can use a mapper of a deleted domain by accident.
    if (rangeMapper_) {
        rangeMapper_->FreeIdRangeMapper();
        rangeMapper_.reset();
    }
    changed_ = true;
    if (dbv_deletedomain(domain_) != 0) {
        QM_ASSERT(!"Deleting domain failed.", kSource);
        return false;
    }
    domain_ = nullptr;
    return true;
}

bool DomainAndEvents_c::AddDomainEvents(dbv_domainevents_s* events) {
    if (!domainEvents_) {
        return false;
    }
    try {
        domainEvents_->push_back(events);
    } catch (...) {  // std::bad_alloc
        return false;
    }
    changed_ = true;
    return true;
}

bool DomainAndEvents_c::GetDomainEvents(DomainEventLevel_e level,
                                        dbv_domainevents_s** events) const {
    const auto index = static_cast<int>(level);
    if (events == nullptr || !domainEvents_ || index < 0 ||
        static_cast<size_t>(index) >= domainEvents_->size()) {
        return false;
    }
    *events = (*domainEvents_)[static_cast<size_t>(index)];
    return true;
}

bool DomainAndEvents_c::DeleteDomainEvents(DomainEventLevel_e level) {
    const auto index = static_cast<int>(level);
    if (!domainEvents_ || index < 0 || static_cast<size_t>(index) >= domainEvents_->size()) {
        return true;
    }
    bool result = true;
    if (dbv_deletedomainevents((*domainEvents_)[static_cast<size_t>(index)]) != 0) {
        QM_ASSERT(!"Deleting domainevents container failed.", kSource);
        result = false;
    }
    domainEvents_->erase(domainEvents_->begin() + index);
    changed_ = true;
    return result;
}

int32_t DomainAndEvents_c::GetDomainEventsCount() const {
    return domainEvents_ ? static_cast<int32_t>(domainEvents_->size()) : 0;
}

bool DomainAndEvents_c::DeleteAllDomainEvents() {
    if (!domainEvents_) {
        return true;
    }
    bool result = true;
    for (int32_t level = GetDomainEventsCount() - 1; level >= 0 && result; --level) {
        result = DeleteDomainEvents(static_cast<DomainEventLevel_e>(level));
    }
    if (domainEvents_) {
        domainEvents_->clear();
    }
    changed_ = true;
    return result;
}

bool DomainAndEvents_c::ClearDomain() {
    if (domain_ == nullptr) {
        return true;
    }
    // A domain made without its mapper must be given one first (InitRangeMapper).
    if (!rangeMapper_) {
        return false;
    }
    rangeMapper_->Clean();
    if (dbv_cleardomain(domain_) != 0) {
        QM_ASSERT(!"Clearing domain failed.", kSource);
        return false;
    }
    return true;
}

bool DomainAndEvents_c::CreateRuntimeDomainEvents() {
    if (domain_ == nullptr) {
        return false;
    }
    if (runtimeDomainEvents_ != nullptr) {
        return true;
    }
    changed_ = true;
    dbv_domainevents_s* created = nullptr;
    if (dbv_createdomainevents(domain_, &created) != 0 || created == nullptr) {
        QM_ASSERT(!"The creation of run-time domainevents failed.", kSource);
        return false;
    }
    runtimeDomainEvents_ = created;
    return true;
}

bool DomainAndEvents_c::GetRuntimeDomainEvents(dbv_domainevents_s** events) const {
    if (events == nullptr || runtimeDomainEvents_ == nullptr) {
        return false;
    }
    *events = runtimeDomainEvents_;
    return true;
}

bool DomainAndEvents_c::SetRuntimeDomainEvents(dbv_domainevents_s* events) {
    if (events == nullptr) {
        return false;
    }
    // Deleting the container about to be kept would leave a stale handle behind.
    if (events == runtimeDomainEvents_) {
        return true;
    }
    if (runtimeDomainEvents_ != nullptr) {
        dbv_deletedomainevents(runtimeDomainEvents_);
    }
    runtimeDomainEvents_ = events;
    return true;
}

bool DomainAndEvents_c::DeleteAllRuntimeDomainEvents() {
    if (runtimeDomainEvents_ == nullptr) {
        return true;
    }
    bool result = true;
    if (dbv_deletedomainevents(runtimeDomainEvents_) != 0) {
        QM_ASSERT(!"Deleting runtimedomainevents container failed.", kSource);
        result = false;
    }
    runtimeDomainEvents_ = nullptr;
    return result;
}

bool DomainAndEvents_c::ResetChangeStatus() {
    changed_ = false;
    return true;
}

}  // namespace dbv
