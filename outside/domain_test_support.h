// Helpers shared by the tests of the store's domain half: a fixture that disarms the seams
// around every test, and small wrappers that turn out-parameters into return values.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "outside/store_domain.h"
#include "outside/store_seams.h"

namespace domain_store_test {

class DomainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        ASSERT_EQ(0, dbv_createdomain(&domain_));
    }
    void TearDown() override {
        store_seams::Reset();
        dbv_deletedomain(domain_);  // may be stale already; that is refused, not harmful
    }

    int32_t new_id(dbv_domain_s* domain = nullptr) {
        int32_t id = -1;
        EXPECT_EQ(0, dbv_newid(domain != nullptr ? domain : domain_, &id));
        return id;
    }
    dbv_guid_s guid_of(int32_t id, dbv_domain_s* domain = nullptr) {
        dbv_guid_s guid{};
        EXPECT_EQ(0, dbv_timeidtoguid(domain != nullptr ? domain : domain_,
                                      static_cast<uint32_t>(id), &guid));
        return guid;
    }
    // Imports into domain_ the guid of `id` of `other`; the local id.
    int32_t import_from(dbv_domain_s* other, int32_t id) {
        const dbv_guid_s guid = guid_of(id, other);
        int32_t local = -1;
        EXPECT_EQ(0, dbv_importguid(domain_, &guid, &local));
        return local;
    }

    dbv_domain_s* domain_ = nullptr;
};

inline std::string guid_text(const dbv_guid_s& guid) {
    char text[kDbvGuidTextLength + 1] = {};
    EXPECT_EQ(0, dbv_guidtostring(&guid, text, sizeof text));
    return text;
}

}  // namespace domain_store_test
