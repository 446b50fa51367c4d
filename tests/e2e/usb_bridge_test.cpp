// Whole reads of both counter models through the USB bridge (PROPERTY_USBX_PORT 1): the
// bridge library's stand-in carries every byte between the library and the simulated counter,
// and the vehicles read must be exactly those the counter recorded.
//
// The stand-in's devices come from TALLYX_USB_STUB_DEVICES. Against the Windows library that
// list must be in place before the library's process starts, so it is given from outside as a
// COM name (COM250), and the counter is published on that COM number. Otherwise the test lists
// the counter's own pseudo-terminal.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/temp_dir.h"

namespace tallyx::e2e {
namespace {

using tallysim::SimOptions;

constexpr unsigned kCom = 250;

// The COM number of a device list given from outside ("COM250"), or 0 when there is none.
unsigned ListedCom() {
    const char* list = std::getenv("TALLYX_USB_STUB_DEVICES");
    if (list == nullptr || std::strncmp(list, "COM", 3) != 0) return 0;
    return static_cast<unsigned>(std::strtoul(list + 3, nullptr, 10));
}

class UsbBridgeTest : public ::testing::TestWithParam<E2eModel>, public CounterFixture {
protected:
    void TearDown() override {
        if (handle != nullptr) Term(handle);
    }

    TallyxHandle handle = nullptr;
};

TEST_P(UsbBridgeTest, ReadsEveryVehicle) {
    const E2eModel& c = GetParam();
    SimOptions options(c.model);
    std::string error;
    for (const auto& [key, value] : c.shortStudy) EXPECT_TRUE(options.description.Set(key, value, &error)) << error;

    const unsigned listed = ListedCom();
#ifdef TALLYX_WINDOWS_TEXT_FILES
    ASSERT_NE(listed, 0u) << "the Windows library's run needs TALLYX_USB_STUB_DEVICES=COM" << kCom
                          << " in its environment from the start";
#endif
    const unsigned com = listed != 0 ? listed : kCom;
    ASSERT_TRUE(StartCounter(options, com, &error)) << error;
    std::optional<test::ScopedEnv> devices;
    if (listed == 0) devices.emplace("TALLYX_USB_STUB_DEVICES", Counter().SlavePath().c_str());

    handle = NewContext(com);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(SetProperty(handle, PROPERTY_USBX_PORT, "1"), RETCODE_OK);
    ASSERT_EQ(ReadDevice(handle), RETCODE_OK) << MessageLog();

    // The USB port was used, not the COM port the context also names.
    const std::string log = MessageLog();
    EXPECT_NE(log.find("Opening USB port USBX1"), std::string::npos) << log;
    EXPECT_EQ(log.find("Opening RS232 port"), std::string::npos) << log;

    EXPECT_EQ(Property(handle, PROPERTY_DEV_SERIALNO), Counter().GetDescription().device.serialNumber);
    const std::vector<std::string> vehicles = Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV);
    EXPECT_EQ(vehicles, c.expectedCsv(Counter().GetStudy()));
}

INSTANTIATE_TEST_SUITE_P(UsbBridge, UsbBridgeTest, ::testing::ValuesIn(E2eModels()),
                         [](const ::testing::TestParamInfo<E2eModel>& info) { return info.param.Name(); });

}  // namespace
}  // namespace tallyx::e2e
