// Tests of the version texts: this build's exact texts, the same pointer on every call
// (also for concurrent first calls), and the cutting rules on other versions.
#include "services/version.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "services/version_derive.h"

namespace {

TEST(VersionTexts, ThisBuildsTexts) {
    EXPECT_STREQ(unx_get_version_text(), "2099.1");
    EXPECT_STREQ(unx_get_build_number_text(), "30762");
    EXPECT_STREQ(unx_get_open_api_version_text(), "2099.1.0.0");
    EXPECT_STREQ(unx_get_revision_date_text(),
                 "2017-01-10 12:10:16Z d831d2a02b84abcd337d1977a605d92193eaf04a");
    EXPECT_STREQ(unx_get_version_label_text(), "Next");
    EXPECT_STREQ(unx_build_full_version, "2099.1.30762.0");
    EXPECT_GT(std::string(unx_get_copyright_text()).size(), 0u);
}

TEST(VersionTexts, EveryFunctionGivesTheSamePointerOnEveryCall) {
    using Getter = const char* (*)();
    const Getter getters[] = {unx_get_version_text,          unx_get_build_number_text,
                              unx_get_open_api_version_text, unx_get_revision_date_text,
                              unx_get_version_label_text,    unx_get_copyright_text};
    for (const Getter get : getters) {
        const char* first = get();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(get(), first);
    }
    // Threads asking at the same time all see the one text.
    std::vector<const char*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = unx_get_build_number_text(); });
    for (std::thread& t : threads) t.join();
    for (const char* text : seen) EXPECT_EQ(text, unx_get_build_number_text());
}

TEST(VersionTexts, CuttingRules) {
    struct Case {
        const char* full;
        const char* before_second_dot;
        const char* build_number;
    };
    const Case cases[] = {
        {"2099.1.30762.0", "2099.1", "30762"},
        {"1.2.3", "1.2", "2"},
        {"2099.1", "2099.1", "2099"},
        {"7", "7", "7"},
        {"", "", ""},
        {"a.b.c.d.e", "a.b", "d"},
        {"..", ".", ""},
        {"1..", "1.", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(services::VersionBeforeSecondDot(c.full), c.before_second_dot) << c.full;
        EXPECT_EQ(services::VersionBuildNumber(c.full), c.build_number) << c.full;
    }
}

}  // namespace
