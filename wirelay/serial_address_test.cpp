// "serial:" address texts: the device path and line settings, their defaults, and what is
// refused.
#include <gtest/gtest.h>

#include <string>

#include "wirelay/address.h"
#include "wirelay/io_core.h"
#include "wirelay/wrl_errors.h"

namespace {

TEST(SerialAddressTest, ParsesDeviceSpeedAndOptionalSettings) {
    struct Case {
        const char* text;
        const char* device;
        uint32_t baud, size, parity, stop;
    };
    const Case cases[] = {
        {"serial:/dev/ttyS0,9600", "/dev/ttyS0", 9600, 8, 0, 1},
        {"serial:/dev/ttyUSB1,115200,7", "/dev/ttyUSB1", 115200, 7, 0, 1},
        {"serial:/dev/ttyUSB1,115200,7,1", "/dev/ttyUSB1", 115200, 7, 1, 1},
        {"serial:/dev/pts/3,300,5,2,2", "/dev/pts/3", 300, 5, 2, 2},
        {"serial:/dev/x,1,0,9,3", "/dev/x", 1, 0, 9, 3},  // checked when the port opens
    };
    for (const Case& c : cases) {
        wrl_address a{};
        ASSERT_EQ(wrl_net_parseaddress(c.text, &a), WRL_OK) << c.text;
        EXPECT_EQ(a.iftype, IO_IF_SERIAL);
        EXPECT_STREQ(a.device, c.device);
        EXPECT_EQ(a.baud, c.baud);
        EXPECT_EQ(a.bytesize, c.size);
        EXPECT_EQ(a.parity, c.parity);
        EXPECT_EQ(a.stopbits, c.stop);
    }
}

TEST(SerialAddressTest, RefusesRelativePathsMissingSpeedsAndExtraValues) {
    const std::string long_path = "/" + std::string(WRL_DEVICE_MAX, 'd');
    const std::string longest = "serial:" + long_path.substr(0, WRL_DEVICE_MAX) + ",9600";
    wrl_address a{};
    ASSERT_EQ(wrl_net_parseaddress(longest.c_str(), &a), WRL_OK);
    EXPECT_EQ(std::string(a.device).size(), WRL_DEVICE_MAX);
    const std::string too_long = "serial:" + long_path + ",9600";
    for (const char* bad :
         {"serial:COM1,9600", "serial:ttyS0,9600", "serial:/dev/ttyS0", "serial:/dev/ttyS0,",
          "serial:/dev/ttyS0,0", "serial:/dev/ttyS0,96x", "serial:/dev/ttyS0,9600,8,0,1,1",
          "serial:/dev/ttyS0,9600,,0", "serial:/dev/ttyS0,4294967296", "serial:/dev/ttyS0,-1",
          "serial:,9600", too_long.c_str()}) {
        a.baud = 4711;
        EXPECT_EQ(wrl_net_parseaddress(bad, &a), WRL_EFAIL) << bad;
        EXPECT_EQ(a.baud, 4711u);
    }
}

}  // namespace
