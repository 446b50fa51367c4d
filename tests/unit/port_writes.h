#pragma once
// What both kinds of port are tested with: every byte value and a text
// written reach the far end unchanged and whole, what arrives is signalled
// and read, a read of nothing, and a port not open.
#include <chrono>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "comm/comm_port.h"
#include "support/pseudo_terminal.h"

namespace tallyx::test {

// Every byte value, in order.
inline std::string AllByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes;
}

// What arrives, read after each wait that signals received bytes and nothing
// else, until `wanted` bytes are there or a wait signals no bytes.
inline std::string ReceiveSignalled(CommPort& port, size_t wanted, uint32_t timeoutMs = 1000) {
    std::string result;
    while (result.size() < wanted) {
        if (port.WaitForEvent(nullptr, timeoutMs) != 0) break;
        if (port.TakeEvents() != kEventRxChar) break;
        char buffer[512];
        uint32_t got = 0;
        if (port.Read(buffer, sizeof buffer, &got, nullptr, 1000) != 0 || got > sizeof buffer) break;
        result.append(buffer, got);
    }
    return result;
}

// Writes every byte value and then text through the port, which the
// terminal's far side must read as they were, and every byte value back.
inline void ExpectBytesPassBothWays(CommPort& port, PseudoTerminal& pty, const std::string& text) {
    const std::string bytes = AllByteValues();
    uint32_t written = 99;
    ASSERT_EQ(port.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written, nullptr, 1000), 0u);
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(pty.Read(bytes.size()), bytes);
    ASSERT_EQ(port.WriteText(text.c_str(), &written, nullptr, 1000), 0u);
    EXPECT_EQ(written, text.size());
    EXPECT_EQ(pty.Read(text.size()), text);
    ASSERT_TRUE(pty.Write(bytes));
    EXPECT_EQ(ReceiveSignalled(port, bytes.size()), bytes);
}

// A read of a port with nothing on the line: its result, the bytes it
// reported and how long it took.
struct EmptyRead {
    uint32_t result;
    uint32_t got;
    long long milliseconds;
};
inline EmptyRead ReadNothing(CommPort& port, uint32_t timeoutMs) {
    char buffer[16];
    EmptyRead read{0, 99, 0};
    const auto start = std::chrono::steady_clock::now();
    read.result = port.Read(buffer, sizeof buffer, &read.got, nullptr, timeoutMs);
    read.milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return read;
}

// A port that is not open refuses reading, writing, waiting, setting up and
// purging with ERROR_INVALID_HANDLE (6), and reads nothing.
inline void ExpectClosedPortRefuses(CommPort& port) {
    char buffer[4];
    uint32_t count = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, 10), 6u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer, &count, nullptr, 10), 6u);
    EXPECT_EQ(port.WaitForEvent(nullptr, 10), 6u);
    EXPECT_EQ(port.Configure(9600, 8, 0, 0), 6u);
    EXPECT_EQ(port.SetHandshaking(0), 6u);
    EXPECT_EQ(port.SetReadMode(0), 6u);
    EXPECT_EQ(port.Purge(), 6u);
}

}  // namespace tallyx::test
