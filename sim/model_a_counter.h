// The model A counter (ZK110): framed colon commands with an 8-bit check value, text answers in
// the same frame, flash pages as 260-byte binary blocks.
#pragma once

#include <map>
#include <string>

#include "counter.h"
#include "description.h"
#include "device_clock.h"
#include "model_a_flash.h"
#include "study.h"

namespace tallysim {

class ModelACounter : public Counter {
public:
    // `eraseDelayMs`: how long the erase command takes before its answer.
    ModelACounter(const Description& description, const Study& study, FaultPlan* faults, unsigned eraseDelayMs);

    std::string WakeupLine(WakeupFault fault) const override;
    void Receive(std::string_view bytes, LineOutput& out) override;

    // The finish code the counter reports now.
    unsigned StudyState() override;
    SimDateTime ClockNow() const override { return clock_.Now(); }
    bool DateEncoding() const { return dateEncoding_; }
    const ModelAFlash& Flash() const { return flash_; }

    // The check-value-free text of a setting answer as the counter renders a bin list written
    // as `raw`: each number as two hexadecimal digits (more when needed), the separators as
    // written, and a 00 entry to close the list.
    static std::string RenderBins(const std::string& raw);

private:
    struct Reply {
        bool none = false;   // the command awaits no answer
        bool page = false;
        std::string text;    // a text answer, unframed
        FlashPage pageBytes{};
        unsigned delayMs = 0;
    };

    void HandleFrame(const std::string& frame, LineOutput& out);
    Reply Execute(const std::string& command);
    Reply ReadSetting(const std::string& key);
    Reply WriteSetting(const std::string& command, const std::string& key, const std::string& value);
    Reply ReadPage(const std::string& arguments);
    unsigned BatteryRaw() const;
    std::string BatteryAnswer() const;
    void UpdateStudyState();

    DeviceDescription device_;
    unsigned completionCode_;
    unsigned eraseFinishCode_;
    unsigned eraseDelayMs_;
    DeviceClock clock_;
    ModelAFlash flash_;
    unsigned finishCode_;
    SimDateTime begin_;
    SimDateTime end_;
    unsigned rangeMinutes_;
    unsigned periodMinutes_;
    bool dateEncoding_;
    // The stored text of every other setting by its write key (":X:0" to ":X:6", ":S", ":L",
    // ":G", ":Q").
    std::map<std::string, std::string> settings_;
};

}  // namespace tallysim
