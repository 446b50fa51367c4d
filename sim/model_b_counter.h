// The model B counter (ZK220): one command word per line, ended by a line feed; answers are an
// acknowledgement line, for queries a data line, and for the record download raw 8-byte records.
// Its user area keeps a short document in blocks.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "counter.h"
#include "description.h"
#include "device_clock.h"
#include "study.h"

namespace tallysim {

// How the counter stores one vehicle in 8 bytes: flags, seconds from the study begin, speed and
// length each as a whole and a fraction byte. A vehicle with raw bytes of its own is sent as
// those.
std::array<uint8_t, 8> EncodeModelBRecord(const Vehicle& vehicle, int64_t beginMs);

class ModelBCounter : public Counter {
public:
    ModelBCounter(const Description& description, const Study& study, FaultPlan* faults);

    std::string WakeupLine(WakeupFault fault) const override;
    void Receive(std::string_view bytes, LineOutput& out) override;
    unsigned StudyState() override;
    SimDateTime ClockNow() const override { return clock_.Now(); }

    size_t RecordCount() const { return records_.size() / 8; }
    // The data line of GETSTUDYINFO as the counter would answer now.
    std::string StudyInfoLine();

    // The user-area document a program stores for these study fields.
    static std::string BuildUserArea(const StudyDescription& study);
    // The blocks that document is stored in: 235 characters each, with the closing quote that
    // ends each piece on the line.
    static std::vector<std::string> UserAreaBlocks(const std::string& document, size_t blockSize = 235);

private:
    struct Reply {
        bool ack = true;
        bool hasData = false;
        std::string data;
        bool hasBinary = false;
        std::string binary;
    };

    void HandleLine(const std::string& line, LineOutput& out);
    Reply Execute(const std::string& line);
    Reply ControlStudy(const std::string& line, const std::string& arguments);
    Reply ReadRecords(const std::string& arguments);
    Reply SetUserArea(const std::string& line);
    void UpdateStudyState();

    DeviceDescription device_;
    DeviceClock clock_;
    std::string studyType_;
    int state_;
    SimDateTime begin_;
    SimDateTime end_;
    long periodSeconds_;
    unsigned recordSize_;
    std::vector<uint8_t> records_;  // 8 bytes per record, in recorded order
    std::map<unsigned, std::string> blocks_;  // the user area: what followed the first quote
    std::string studyInfo_;  // a fixed GETSTUDYINFO line, or empty
};

}  // namespace tallysim
