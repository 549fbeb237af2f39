// The guid text form: byte order of the fields, round trips, and refusal of anything that
// is not exactly 36 characters of that shape.
#include <string>

#include "outside/domain_test_support.h"

namespace domain_store_test {
namespace {

dbv_guid_s counting_guid(uint8_t base) {
    dbv_guid_s guid;
    for (uint8_t i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(base + i);
    return guid;
}

TEST(GuidTextTest, FieldsAreLittleEndianAndParsingIsTheInverse) {
    EXPECT_EQ("03020100-0504-0706-0809-0a0b0c0d0e0f", guid_text(counting_guid(0)));
    EXPECT_EQ("f3f2f1f0-f5f4-f7f6-f8f9-fafbfcfdfeff", guid_text(counting_guid(0xf0)));
    dbv_guid_s parsed{};
    ASSERT_EQ(0, dbv_parseguidstring("F3F2F1F0-F5F4-F7F6-F8F9-FAFBFCFDFEFF", &parsed));
    EXPECT_EQ(0, std::memcmp(counting_guid(0xf0).bytes, parsed.bytes, 16));

    const dbv_guid_s guid = counting_guid(0);
    char buffer[kDbvGuidTextLength + 1] = "untouched";
    EXPECT_NE(0, dbv_guidtostring(&guid, buffer, kDbvGuidTextLength));  // no room for the NUL
    EXPECT_STREQ("untouched", buffer);
}

TEST(GuidTextTest, MalformedTextsAreRefusedAndLeaveTheGuidAlone) {
    const char* const bad[] = {
        "",
        "03020100-0504-0706-0809-0a0b0c0d0e0",     // one short
        "03020100-0504-0706-0809-0a0b0c0d0e0f0",   // one long
        "03020100-0504-0706-0809-0a0b0c0d0e0f\n",  // trailing line feed
        " 03020100-0504-0706-0809-0a0b0c0d0e0f",   // leading blank
        "0302010000504-0706-0809-0a0b0c0d0e0f",    // dash missing
        "03020100-0504-0706-08090-a0b0c0d0e0f",    // dash moved
        "030201000504070608090a0b0c0d0e0f0000",    // no dashes at all
        "0302010g-0504-0706-0809-0a0b0c0d0e0f",    // not hex
        "03020100-0504-0706-0809-0a0b0c0d0e0-",    // dash for a digit
        "+3020100-0504-0706-0809-0a0b0c0d0e0f",    // sign
        nullptr,
    };
    for (const char* text : bad) {
        dbv_guid_s guid = counting_guid(0x40);
        EXPECT_NE(0, dbv_parseguidstring(text, &guid)) << (text ? text : "null");
        EXPECT_EQ(0, std::memcmp(counting_guid(0x40).bytes, guid.bytes, 16));
    }
}

}  // namespace
}  // namespace domain_store_test
