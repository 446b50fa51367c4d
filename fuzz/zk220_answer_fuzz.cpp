// Model B answer lines as a read receives them: the input is cut into lines at
// each line feed (at most 1024 bytes, the last two of each, CR and LF, left
// out as the driver does). The lines answer the read's questions in order:
// the five identity fields, the study information, then the four user-area
// blocks, which are joined as the driver joins them. Each line also goes to
// both structured parsers on its own. At the end every property is read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "drivers/modelb/zk220_values.h"
#include "drivers/modelb/zk220_driver.h"
#include "fuzz_input.h"
#include "properties/property_descriptor.h"
#include "properties/property_store.h"
#include "support/values_host.h"

namespace {

using namespace tallyx;

constexpr const char* kQuestions[] = {
    "GETSERIALNUMBER", "GETDEVICETYPE", "GETFIRMWAREVERSION", "GETBATTERYVOLTAGE", "GETBATTERYPERCENT", "GETSTUDYINFO",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    test::ValuesHost<ZK220Values> driver;
    fuzz::FuzzInput in(data, size);

    auto area = std::make_unique<ZK220UserArea>();  // several kilobytes
    std::string userArea;
    for (uint32_t question = 0; !in.Empty(); ++question) {
        const std::string received = in.Line('\n', kCounterLineCapacity);
        const std::string answer = received.size() > 2 ? received.substr(0, received.size() - 2) : "";
        const std::string line = answer.c_str();  // the answer as text: up to its first zero byte
        ZK220StudyInfo info;
        ParseZK220StudyInfo(line.c_str(), info);
        ParseZK220UserArea(line.c_str(), *area);

        if (question < std::size(kQuestions)) {
            driver.Values().ParseAnswer(kQuestions[question], line.c_str());
        } else if (question < std::size(kQuestions) + kZK220UserAreaBlocks) {
            // Each block ends in the closing quote of its piece; the pieces
            // join without the quotes between them.
            if (question != std::size(kQuestions) && !userArea.empty()) userArea.pop_back();
            userArea += line;
            if (userArea.size() > kZK220UserAreaCapacity) userArea.resize(kZK220UserAreaCapacity);
        } else {
            // Further lines answer the questions of a second read.
            driver.Values().ParseAnswer(kQuestions[question % std::size(kQuestions)], line.c_str());
        }
    }
    driver.Values().ParseAnswer("GETUSERAREA", userArea.c_str());

    const PropertyStore& store = driver.Store();
    for (const PropertyDescriptor& descriptor : PropertyDescriptors()) {
        const std::string text = store.Text(descriptor.name);
        if (text.size() > descriptor.maxLength) std::abort();
        std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
        if (store.Get(descriptor.name, buffer.get(), static_cast<uint32_t>(text.size() + 1), false) != RETCODE_OK ||
            text != buffer.get()) {
            std::abort();
        }
    }
    (void)driver.Values().PeriodicCount();
    return 0;
}
