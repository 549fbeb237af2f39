// Tests of the event and event-container texts against the in-memory store.
#include "dbv/event_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "dbv/time_ids.h"
#include "outside/assert_log.h"
#include "outside/store_seams.h"

namespace {

class EventTextsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        mainResetAssertions();
        ASSERT_EQ(dbv_createdomain(&domain_), 0);
        ASSERT_EQ(dbv_createdomainevents(domain_, &events_), 0);
    }
    void TearDown() override {
        store_seams::Reset();
        dbv_deletedomain(domain_);
        mainResetAssertions();
    }
    dbv_event_s* AddEvent(const char* description) {
        dbv_event_s* event = nullptr;
        EXPECT_EQ(dbv_createevent(events_, description, &event), 0);
        return event;
    }
    std::string Guid(uint32_t timeId) { return dbv::TimeIdToString(timeId, domain_); }

    dbv_domain_s* domain_ = nullptr;
    dbv_domainevents_s* events_ = nullptr;
};

TEST_F(EventTextsTest, EventWithTimeIdTwelve) {
    for (int i = 0; i < 11; ++i) dbv::NewId(domain_);
    dbv_event_s* event = AddEvent("Approved@2026");
    const std::string guid = Guid(12);
    ASSERT_EQ(guid.size(), 36u);
    EXPECT_EQ(dbv::DomainEventToString(event, domain_, true), "Approved@2026/12/" + guid);
    EXPECT_EQ(dbv::DomainEventToString(event, domain_, false), "Approved@2026");
    EXPECT_EQ(dbv::DomainEventToGuidString(event, domain_), guid);
    // A null description contributes nothing.
    dbv_event_s* unnamed = AddEvent(nullptr);
    EXPECT_EQ(dbv::DomainEventToString(unnamed, domain_, true), "/13/" + Guid(13));
    EXPECT_EQ(dbv::DomainEventToString(unnamed, domain_, false), "");
}

TEST_F(EventTextsTest, NullAndStaleHandlesGiveEmptyTexts) {
    dbv_event_s* event = AddEvent("Saved");
    EXPECT_EQ(dbv::DomainEventToString(nullptr, domain_, true), "");
    EXPECT_EQ(dbv::DomainEventToString(event, nullptr, true), "");
    EXPECT_EQ(dbv::DomainEventToGuidString(nullptr, domain_), "");
    EXPECT_EQ(dbv::DomainEventToGuidString(event, nullptr), "");
    EXPECT_EQ(dbv::DomainEventsToString(nullptr, domain_), "");
    EXPECT_EQ(dbv::DomainEventsToString(events_, nullptr), "");

    ASSERT_EQ(dbv_deleteevent(event), 0);
    EXPECT_EQ(dbv::DomainEventToString(event, domain_, false), "");
    EXPECT_EQ(dbv::DomainEventToGuidString(event, domain_), "");
}

TEST_F(EventTextsTest, StoreFailuresGiveEmptyTexts) {
    dbv_event_s* event = AddEvent("Saved");
    store_seams::FailOperation("dbv_geteventdescription", 1);
    EXPECT_EQ(dbv::DomainEventToString(event, domain_, false), "");
    store_seams::FailOperation("dbv_geteventtimeid", 1);
    EXPECT_EQ(dbv::DomainEventToString(event, domain_, false), "");
    store_seams::FailOperation("dbv_geteventtimeid", 1);
    EXPECT_EQ(dbv::DomainEventToGuidString(event, domain_), "");
    store_seams::FailOperation("dbv_geteventcount", 1);
    EXPECT_EQ(dbv::DomainEventsToString(events_, domain_), "");
    EXPECT_EQ(dbv::DomainEventToString(event, domain_, false), "Saved");
}

TEST_F(EventTextsTest, ContainerTexts) {
    EXPECT_EQ(dbv::DomainEventsToString(events_, domain_), "0 events:");
    AddEvent("Created");
    AddEvent(nullptr);
    AddEvent("Issued@for review");
    EXPECT_EQ(
        dbv::DomainEventsToString(events_, domain_),
        "3 events:\nCreated/1/" + Guid(1) + "\n/2/" + Guid(2) + "\nIssued@for review/3/" + Guid(3));
}

TEST_F(EventTextsTest, AnEventTheStoreCannotHandOutIsShownAsError) {
    AddEvent("Created");
    AddEvent("Issued");
    store_seams::FailOperation("dbv_geteventnr", 1);
    EXPECT_EQ(dbv::DomainEventsToString(events_, domain_), "2 events:\nERROR\nIssued/2/" + Guid(2));
}

}  // namespace
