// The table dumper's settings and the labels it writes for time ids and identifiers.
#include "dbv/dump_table.h"

#include <utility>

#include "dbv/time_ids.h"

namespace dbv {

DumpTable_c::DumpTable_c() = default;
DumpTable_c::~DumpTable_c() = default;

void DumpTable_c::SetDbvGuidWriting(bool rowLabels, bool idLabels, dbv_domain_s* domain,
                                    dbv_timeidmapping_s* mapping, dbv_event_s* event) {
    writeRowLabels_ = rowLabels;
    writeIdLabels_ = idLabels;
    domain_ = domain;
    timeIdMapping_ = mapping;
    event_ = event;
}

void DumpTable_c::SetGuidMarkByEvent(const std::string& mark, int32_t eventTimeId) {
    guidMarks_.emplace_back(mark, eventTimeId);
}

void DumpTable_c::SetDomainIdFormatFunc(DomainIdFormatFunc func) {
    domainIdFormat_ = std::move(func);
}

void DumpTable_c::SetMaxTableRowCount(int32_t maxRows) {
    maxRows_ = maxRows;
}

void DumpTable_c::SetLogInfoOutput(bool on) {
    logInfoOutput_ = on;
}

void DumpTable_c::SetProgressCallback(ProgressCallback callback) {
    progress_ = std::move(callback);
}

std::string DumpTable_c::TimeText(int32_t timeId) const {
    std::string text = TimeIdToString(static_cast<uint32_t>(timeId), domain_);
    for (const auto& [mark, markTimeId] : guidMarks_) {
        int32_t after = 1;
        if (CompareCausality(domain_, static_cast<uint32_t>(timeId),
                             static_cast<uint32_t>(markTimeId), &after) == 0 &&
            after == 0) {
            text += mark;
        }
    }
    return text;
}

std::string DumpTable_c::IdLabel(int32_t id) const {
    if (id < smallIdLimit_) return std::to_string(id);
    if (domainIdFormat_) {
        return domainIdFormat_(id, TimeIdToString(static_cast<uint32_t>(id), domain_));
    }
    std::string label = std::to_string(id) + "/";
    if (timeIdMapping_ != nullptr) {
        int32_t oldId = 0;
        std::string oldText;
        if (dbv_timeidmappingnewtoold(timeIdMapping_, id, &oldId) == 0) oldText = TimeText(oldId);
        label += oldText.empty() ? "ERROR" : oldText;
        label += "/";
    }
    const std::string current = TimeText(id);
    label += current.empty() ? "ERROR" : current;
    return label;
}

}  // namespace dbv
