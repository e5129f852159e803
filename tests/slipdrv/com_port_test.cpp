#include "channel/com_port.h"

#include <gtest/gtest.h>

namespace slipdrv {
namespace {

TEST(ComPortSetting, OnlyAWellFormedTcpSettingGivesAnAddress) {
    const struct {
        const char* setting;
        bool network;  // taken as a network printer's setting at all
        std::optional<TcpAddress> address;
    } cases[] = {
        {"tcp://192.168.1.50:9100", true, TcpAddress{"192.168.1.50", 9100}},
        {"tcp://printer-7.counter_2.local:1", true, TcpAddress{"printer-7.counter_2.local", 1}},
        {"tcp://[::1]:65535", true, TcpAddress{"::1", 65535}},
        {"tcp://[fe80::1%eth0]:9100", true, TcpAddress{"fe80::1%eth0", 9100}},
        {"tcp://localhost:09100", true, TcpAddress{"localhost", 9100}},
        {"tcp://", true, std::nullopt},
        {"tcp://host", true, std::nullopt},
        {"tcp://host:", true, std::nullopt},
        {"tcp://:9100", true, std::nullopt},
        {"tcp://host:0", true, std::nullopt},
        {"tcp://host:65536", true, std::nullopt},
        {"tcp://host:009100", true, std::nullopt},
        {"tcp://host:+9100", true, std::nullopt},
        {"tcp://host:91 00", true, std::nullopt},
        {"tcp://host:9100/", true, std::nullopt},
        {"tcp://host:9100:1", true, std::nullopt},
        {"tcp://user@host:9100", true, std::nullopt},
        {"tcp://two words:9100", true, std::nullopt},
        {"tcp://::1:9100", true, std::nullopt},
        {"tcp://[::1]9100", true, std::nullopt},
        {"tcp://[::1:9100", true, std::nullopt},
        {"tcp://[]:9100", true, std::nullopt},
        {"tcp://[127.0.0.1]:9100", true, std::nullopt},
        {"TCP://host:9100", false, std::nullopt},
        {"/dev/ttyUSB0", false, std::nullopt},
        {"", false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(namesNetworkPrinter(c.setting), c.network);
        const auto address = parseTcpAddress(c.setting);
        ASSERT_EQ(address.has_value(), c.address.has_value());
        if (address) {
            EXPECT_EQ(address->host, c.address->host);
            EXPECT_EQ(address->port, c.address->port);
        }
    }
}

}  // namespace
}  // namespace slipdrv
