// Event containers and events: numbering after deletes, fresh time ids, copied
// descriptions, clearing, and stale handles after deleting an event, a container or the
// whole domain.
#include <string>
#include <vector>

#include "outside/domain_test_support.h"

namespace domain_store_test {
namespace {

class EventsTest : public DomainTest {
  protected:
    void SetUp() override {
        DomainTest::SetUp();
        ASSERT_EQ(0, dbv_createdomainevents(domain_, &events_));
    }
    dbv_event_s* create(const char* description) {
        dbv_event_s* event = nullptr;
        EXPECT_EQ(0, dbv_createevent(events_, description, &event));
        return event;
    }
    std::string description_of(dbv_event_s* event) {
        const char* text = "unset";
        EXPECT_EQ(0, dbv_geteventdescription(event, &text));
        return text != nullptr ? text : "(null)";
    }
    // Descriptions in event-number order.
    std::vector<std::string> descriptions() {
        int32_t count = -1;
        EXPECT_EQ(0, dbv_geteventcount(events_, &count));
        std::vector<std::string> out;
        for (int32_t i = 0; i < count; ++i) {
            dbv_event_s* event = nullptr;
            EXPECT_EQ(0, dbv_geteventnr(events_, i, &event));
            out.push_back(description_of(event));
        }
        return out;
    }
    int32_t time_id_of(dbv_event_s* event) {
        int32_t id = -1;
        EXPECT_EQ(0, dbv_geteventtimeid(event, &id));
        return id;
    }
    using Texts = std::vector<std::string>;
    dbv_domainevents_s* events_ = nullptr;
};

TEST_F(EventsTest, EventsAreNumberedInCreationOrderAndShiftDownOnDelete) {
    dbv_event_s* a = create("a");
    dbv_event_s* b = create("b");
    create("c");
    ASSERT_EQ(0, dbv_deleteevent(b));
    EXPECT_EQ((Texts{"a", "c"}), descriptions());
    ASSERT_EQ(0, dbv_deleteevent(a));
    create("d");
    EXPECT_EQ((Texts{"c", "d"}), descriptions());
    dbv_event_s* event = nullptr;
    EXPECT_NE(0, dbv_geteventnr(events_, 2, &event));
    EXPECT_NE(0, dbv_geteventnr(events_, -1, &event));
    EXPECT_EQ(nullptr, event);
}

TEST_F(EventsTest, EachEventTakesAFreshIdOfTheDomain) {
    EXPECT_EQ(1, new_id());
    EXPECT_EQ(2, time_id_of(create("first")));
    EXPECT_EQ(3, time_id_of(create(nullptr)));
    EXPECT_EQ(4, new_id());

    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(domain_, INT32_MAX - 4, &first));
    dbv_event_s* event = nullptr;
    EXPECT_NE(0, dbv_createevent(events_, "late", &event));  // no id left
    EXPECT_EQ(nullptr, event);
    EXPECT_EQ((Texts{"first", "(null)"}), descriptions());
}

TEST_F(EventsTest, DescriptionsAreStableCopiesAndMayBeNull) {
    char text[] = "before@note";
    dbv_event_s* event = create(text);
    text[0] = 'X';
    EXPECT_EQ("before@note", description_of(event));
    const char* held = nullptr;
    ASSERT_EQ(0, dbv_geteventdescription(event, &held));
    for (int i = 0; i < 1000; ++i) create("filler");  // grows the store's tables
    EXPECT_STREQ("before@note", held);

    ASSERT_EQ(0, dbv_seteventdescription(event, nullptr));
    EXPECT_EQ("(null)", description_of(event));
}

TEST_F(EventsTest, DeletedEventIsStaleAlsoAfterItsSlotIsReused) {
    dbv_event_s* gone = create("gone");
    ASSERT_EQ(0, dbv_deleteevent(gone));
    dbv_event_s* fresh = create("fresh");  // takes the freed slot
    ASSERT_NE(gone, fresh);
    const char* text = nullptr;
    int32_t id = -1;
    EXPECT_NE(0, dbv_geteventdescription(gone, &text));
    EXPECT_NE(0, dbv_seteventdescription(gone, "x"));
    EXPECT_NE(0, dbv_geteventtimeid(gone, &id));
    EXPECT_NE(0, dbv_deleteevent(gone));
    EXPECT_NE(0, dbv_deleteevent(nullptr));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(-1, id);
    EXPECT_EQ((Texts{"fresh"}), descriptions());
}

TEST_F(EventsTest, DeletingAContainerMakesItAndItsEventsStale) {
    dbv_domainevents_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(domain_, &other));
    dbv_event_s* kept = nullptr;
    ASSERT_EQ(0, dbv_createevent(other, "kept", &kept));
    dbv_event_s* event = create("doomed");
    dbv_domainevents_s* stale = events_;
    ASSERT_EQ(0, dbv_deletedomainevents(stale));
    ASSERT_EQ(0, dbv_createdomainevents(domain_, &events_));  // takes the freed slot

    int32_t n = -1;
    dbv_event_s* out = nullptr;
    EXPECT_NE(0, dbv_geteventcount(stale, &n));
    EXPECT_NE(0, dbv_geteventnr(stale, 0, &out));
    EXPECT_NE(0, dbv_createevent(stale, "x", &out));
    EXPECT_NE(0, dbv_deletedomainevents(stale));
    EXPECT_NE(0, dbv_geteventtimeid(event, &n));
    EXPECT_EQ(-1, n);
    EXPECT_EQ("kept", description_of(kept));
    EXPECT_EQ(Texts{}, descriptions());
}

TEST_F(EventsTest, DeletingTheDomainMakesContainersAndEventsStale) {
    dbv_event_s* event = create("e");
    ASSERT_EQ(0, dbv_deletedomain(domain_));
    // New objects in the freed slots do not revive the old handles.
    ASSERT_EQ(0, dbv_createdomain(&domain_));
    dbv_domainevents_s* fresh = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(domain_, &fresh));
    dbv_event_s* fresh_event = nullptr;
    ASSERT_EQ(0, dbv_createevent(fresh, "f", &fresh_event));
    int32_t n = -1;
    EXPECT_NE(0, dbv_geteventcount(events_, &n));
    EXPECT_NE(0, dbv_geteventtimeid(event, &n));
    EXPECT_NE(0, dbv_deletedomainevents(events_));
    EXPECT_EQ(-1, n);
    EXPECT_EQ(0, dbv_geteventtimeid(fresh_event, &n));
    EXPECT_EQ(1, n);
}

TEST_F(EventsTest, ClearingTheDomainEmptiesContainersButKeepsThem) {
    dbv_event_s* event = create("a");
    create("b");
    ASSERT_EQ(0, dbv_cleardomain(domain_));
    EXPECT_EQ(Texts{}, descriptions());
    int32_t id = -1;
    EXPECT_NE(0, dbv_geteventtimeid(event, &id));
    EXPECT_EQ(3, time_id_of(create("c")));  // the counter went on
}

}  // namespace
}  // namespace domain_store_test
