#pragma once
// What every counter model does alike, once: the read and write actions, the
// retry policy of requests, of data blocks and of a whole programming, the
// progress steps and aborts, the re-wake, the unit-type and battery checks
// around programming, and the dump documents. A model's protocol derives from
// it and supplies what differs: how a command is framed, sent and answered,
// how its wake-up line is recognised, its field requests and programming
// steps, and its messages.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "device/device_driver.h"
#include "device/device_statistics.h"
#include "device/device_values.h"
#include "drivers/counter_models.h"
#include "drivers/record_buffer.h"
#include "export/dump_document_builder.h"

namespace tallyx {

class CounterSession : public DeviceDriver {
public:
    // Answers of both models are read into buffers of this size; longer ones are cut.
    static constexpr uint32_t kAnswerCapacity = 1024;
    using Answer = char[kAnswerCapacity];

    // What a model's protocol states once about itself.
    struct Rules {
        // Every request, data block and programming is tried this often.
        uint32_t attempts;
        // A low-battery prompt answered later than this may have let the
        // counter fall asleep: it is woken again. 0: the counter stays awake.
        uint32_t promptIdleMs;
        // Logged when every programming attempt failed ("%u": the attempts).
        const char* programFailed;
        // Whether a successful programming is recorded as a dump document.
        bool dumpsStudySettings;
    };

    // What a context lends the session of its counter.
    struct Parts {
        const CounterModelInfo& model;
        PortLink* link;
        PropertyStore* properties;
        CommLog* commLog;
        DeviceStatistics* statistics;
    };

    CounterSession(const Parts& parts, const Rules& rules);

    int32_t Read() final;
    int32_t Write() final;

    const CounterModelInfo& Model() const { return model_; }

    // One request and its answer, tried `attempts` times: after each failure
    // the pause between requests and a counted retry; after the answer the
    // pause and one progress step (RETCODE_ABORTED when the caller stops).
    int32_t Request(const char* command, Answer& answer);
    // Opens the port again and waits for the counter's wake-up line.
    int32_t Rewake();

protected:
    // ---- what each model supplies
    // The identity and battery fields (the device information).
    virtual int32_t ReadDeviceInfo() = 0;
    // Everything: the fields, the data, the decoded records.
    virtual int32_t ReadEverything() = 0;
    // Refuses a study before anything is sent; 0 to go on.
    virtual int32_t CheckStudyBeforeSending() { return 0; }
    // The battery charge in percent, logged as the model reads it.
    virtual int32_t ReadBatteryPercent(int32_t& percent) = 0;
    // One attempt of the whole programming sequence.
    virtual int32_t ProgramOnce() = 0;
    // Starts or stops the battery discharge.
    virtual int32_t SetBatteryDischarge(bool start) = 0;
    // One attempt of a request: the command sent and its answer received.
    virtual int32_t ExchangeOnce(const char* command, Answer& answer) = 0;
    // After the port has been opened again: receives and checks the wake-up line.
    virtual int32_t ReceiveWakeUp() = 0;
    // After every Request, whatever its outcome.
    virtual void RequestEnded(const char* /*command*/) {}

    // ---- shared by the models' protocols
    // Creates the model's values object, lent this session's properties, log and statistics.
    template <class ModelValues>
    void CreateValues() {
        values = std::make_unique<ModelValues>(ValuesContext{properties, commLog, statistics});
    }
    // Runs attempt() up to `attempts` times until it succeeds or the caller
    // stops: after each failure retrying() (unless it was the last), the pause
    // between requests and a counted retry. The last result.
    template <class Attempt, class Retrying>
    int32_t Attempts(Attempt attempt, Retrying retrying) {
        int32_t result = RETCODE_OK;
        for (uint32_t n = 1; n <= rules_.attempts; ++n) {
            result = attempt();
            if (result == RETCODE_OK || result == RETCODE_ABORTED) break;
            if (n < rules_.attempts) retrying();
            Pause(requestDelayMs);
            ++statistics->commRetries;
        }
        return result;
    }
    // Makes room in buffer for one more block of `bytes`; the model's message
    // and the out-of-memory code when it cannot.
    int32_t ReserveBlock(RecordBuffer& buffer, uint32_t bytes, const char* failedMessage);

    // A downloaded data area: its raw dump document, then decode(data, length)
    // unless it is empty. The buffer is freed either way.
    template <class Decode>
    int32_t DecodeDownload(const RawRecordLayout& layout, RecordBuffer& data, Decode decode) {
        WriteRawDocument(layout, data.Data(), data.Length());
        const int32_t result = data.Length() != 0 ? decode(data.Data(), data.Length()) : RETCODE_OK;
        data.Free();
        return result;
    }

    // ---- dump documents, written only when a log folder is set
    void WriteRawDocument(const RawRecordLayout& layout, const uint8_t* data, uint32_t length);
    void WriteProcessedDocument();
    void WriteStudySettingsDocument();

private:
    int32_t CheckUnitType();
    int32_t CheckBattery();
    int32_t ProgramStudy();

    const CounterModelInfo& model_;
    const Rules rules_;
};

}  // namespace tallyx
