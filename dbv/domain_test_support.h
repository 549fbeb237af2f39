// Helpers shared by the tests of the domain containers, the registry and the id range
// mapper: a fixture that starts every test with an empty registry, disarmed store seams and
// no assertion records, plus small readers of the assertion records and of files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dbv/domain_registry.h"
#include "outside/assert_log.h"
#include "outside/store_domain.h"
#include "outside/store_seams.h"
#include "outside/tool_file.h"

namespace dbv_domain_test {

// One assertion report as a test expects it: condition text and source name.
using Report = std::pair<std::string, std::string>;

inline std::vector<Report> Reports() {
    std::vector<Report> reports;
    for (const AssertRecord& record : mainGetAssertRecords()) {
        reports.emplace_back(record.condition_text, record.source_file);
    }
    return reports;
}

class DomainFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        dbv::ClearDomainRegistryForTests();
        mainResetAssertions();
    }
    void TearDown() override {
        store_seams::Reset();
        dbv::ClearDomainRegistryForTests();
        mainResetAssertions();
    }

    // A fresh domain of the store.
    static dbv_domain_s* NewDomain() {
        dbv_domain_s* domain = nullptr;
        EXPECT_EQ(0, dbv_createdomain(&domain));
        return domain;
    }
    static dbv_domainevents_s* NewEvents(dbv_domain_s* domain) {
        dbv_domainevents_s* events = nullptr;
        EXPECT_EQ(0, dbv_createdomainevents(domain, &events));
        return events;
    }
    static dbv_event_s* NewEvent(dbv_domainevents_s* events, const char* description) {
        dbv_event_s* event = nullptr;
        EXPECT_EQ(0, dbv_createevent(events, description, &event));
        return event;
    }
    // The descriptions of the container's events in number order ("<null>" for none);
    // "<stale>" alone when the store refuses the container.
    static std::vector<std::string> Descriptions(dbv_domainevents_s* events) {
        int32_t count = 0;
        if (dbv_geteventcount(events, &count) != 0) {
            return {"<stale>"};
        }
        std::vector<std::string> texts;
        for (int32_t number = 0; number < count; ++number) {
            dbv_event_s* event = nullptr;
            const char* description = nullptr;
            EXPECT_EQ(0, dbv_geteventnr(events, number, &event));
            EXPECT_EQ(0, dbv_geteventdescription(event, &description));
            texts.emplace_back(description == nullptr ? "<null>" : description);
        }
        return texts;
    }
    // The next time id the domain hands out.
    static int32_t NextId(dbv_domain_s* domain) {
        int32_t id = 0;
        EXPECT_EQ(0, dbv_newid(domain, &id));
        return id;
    }
    // How often `operation` of the store is called while `action` runs: every such call is
    // made to fail, and the failures left over afterwards are counted by probing.
    template <typename Action>
    static int CountStoreCalls(const char* operation, int (*probe)(), Action action) {
        constexpr int kArmed = 50;
        store_seams::FailOperation(operation, kArmed);
        action();
        int leftOver = 0;
        while (leftOver <= kArmed && probe() != 0) {
            ++leftOver;
        }
        store_seams::Reset();
        return kArmed - leftOver;
    }
};

// The uncompressed bytes of a file written through the gzip streams.
inline std::string ReadZFile(const std::string& name) {
    std::string bytes;
    FILE* file = tool_fopen(name.c_str(), "rbz");
    if (file == nullptr) {
        return bytes;
    }
    char buffer[256];
    size_t got = 0;
    while ((got = tool_fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
    }
    tool_fclose(file);
    return bytes;
}

// Writes `bytes` through a gzip stream.
inline void WriteZFile(const std::string& name, const std::string& bytes) {
    FILE* file = tool_fopen(name.c_str(), "wbz");
    ASSERT_NE(nullptr, file);
    if (!bytes.empty()) {
        ASSERT_EQ(bytes.size(), tool_fwrite(bytes.data(), 1, bytes.size(), file));
    }
    ASSERT_EQ(0, tool_fclose(file));
}

// The descriptor number the next opened file gets: it changes when a file stays open.
inline int NextFileNumber(const std::string& anyFile) {
    FILE* file = tool_fopen(anyFile.c_str(), "rb");
    if (file == nullptr) {
        return -1;
    }
    const int number = fileno(file);
    tool_fclose(file);
    return number;
}

}  // namespace dbv_domain_test
