// Model A answers as the driver receives them: the input is a stream of bytes
// cut into answers at each carriage return (at most 1024 bytes each, as the
// receive buffer holds). Every answer's check value is verified and its text
// parsed into the properties; the same bytes also go to the parser as they
// came, check value and all, and are framed as a command whose frame must
// check out again. At the end every property is read back and the study times are
// written as clock text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "drivers/modela/zk110_driver.h"
#include "drivers/modela/zk110_values.h"
#include "fuzz_input.h"
#include "properties/property_descriptor.h"
#include "properties/property_store.h"
#include "support/values_host.h"

namespace {

using namespace tallyx;

void CheckFrameRoundTrip(const std::string& command, uint32_t capacity) {
    std::unique_ptr<char[]> frame(new char[capacity == 0 ? 1 : capacity]);
    const uint32_t length = ZK110Frame::BuildCommand(command.c_str(), frame.get(), capacity);
    if (length == 0) return;
    if (length + 1 > capacity || frame[length] != '\0' || frame[length - 1] != '\r') std::abort();
    // A command without a separator of its own comes back as it was sent.
    if (command.find('|') != std::string::npos || command.size() != std::strlen(command.c_str())) return;
    frame[length - 1] = '\0';
    const ZK110Frame::AnswerCheck check = ZK110Frame::CheckAnswer(frame.get());
    if (check.result != RETCODE_OK || command != frame.get()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    test::ValuesHost<ZK110Values> driver;
    ZK110Values& values = driver.Values();
    fuzz::FuzzInput in(data, size);

    while (!in.Empty()) {
        const std::string line = in.Line(ZK110Frame::kTerminator, kCounterLineCapacity);

        // Received as the driver receives it: one byte more than the answer
        // buffer, zeroed, and the last byte received ends the text.
        char received[kCounterLineCapacity + 1] = {};
        std::memcpy(received, line.data(), line.size());
        received[line.empty() ? 0 : line.size() - 1] = '\0';
        ZK110Frame::CheckAnswer(received);
        values.ParseAnswer("", received);
        values.ParseAnswer("", line.c_str());

        // The answer text framed as a command, into frames from too small to
        // roomy enough.
        const std::string command = line.substr(0, line.find('\r'));
        CheckFrameRoundTrip(command, static_cast<uint32_t>(command.size() + 2 + command.size() % 5));
    }

    // Every property as stored, read back with exactly the room it needs.
    const PropertyStore& store = driver.Store();
    for (const PropertyDescriptor& descriptor : PropertyDescriptors()) {
        const std::string text = store.Text(descriptor.name);
        if (text.size() > descriptor.maxLength) std::abort();
        std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
        if (store.Get(descriptor.name, buffer.get(), static_cast<uint32_t>(text.size() + 1), false) != RETCODE_OK ||
            text != buffer.get()) {
            std::abort();
        }
        (void)store.Number(descriptor.name);
    }
    for (const char* property : {PROPERTY_STUDY_BEGINDATETIME, PROPERTY_STUDY_ENDDATETIME}) {
        DateTime time;
        DateTime::Parse(time, store.Text(property));
        char clock[ZK110ClockText::kSize];
        ZK110ClockText::Format(time, clock);
    }
    return 0;
}
