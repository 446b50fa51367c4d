#pragma once
// What every counter model's driver does alike, once: the read and write
// actions, the pause between requests and the progress steps with their
// aborts, the retries of requests, of data blocks and of a whole programming,
// the download of a data area block by block, waking the counter again, the
// unit-type and battery checks around programming, and the dump documents. A
// model's driver derives from it and supplies the hooks below: how one command
// is sent and answered, its wake-up line, its read and programming steps.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "device/device_driver.h"
#include "device/device_statistics.h"
#include "drivers/counter_models.h"
#include "drivers/record_buffer.h"
#include "export/dump_document_builder.h"

namespace tallyx {

class CounterDriver : public DeviceDriver {
public:
    // Answers of every model are read into buffers of this size; longer ones are cut.
    using Answer = char[kCounterLineCapacity];

    // What a model's driver states once about itself.
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

    // The driver of a model's row, built from the parts a context lends
    // (drivers/counter_drivers.cpp pairs every row with its driver).
    static std::unique_ptr<DeviceDriver> Create(const CounterModelInfo& model, const DriverParts& parts);

    CounterDriver(const CounterModelInfo& model, const DriverParts& parts, const Rules& rules);

    int32_t Read() final;
    int32_t Write() final;
    int32_t FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize) final;
    int32_t NextValue(char* buffer, uint32_t bufferSize) final;

    const CounterModelInfo& Model() const { return model_; }

    // Takes the pause between requests from the properties.
    void LoadRequestDelay();
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
    virtual int32_t CheckStudyBeforeSending() { return RETCODE_OK; }
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

    // ---- shared by the models' drivers
    // Sends the bytes of one command, length of them, after emptying both
    // queues of the port; the log shows the first `shown` of them.
    int32_t SendBytes(const char* bytes, uint32_t length, uint32_t shown);
    void Pause(uint32_t milliseconds) const;
    // One progress step: 0, or RETCODE_ABORTED when the caller asked to stop.
    int32_t StepProgress();
    // Creates the model's values object, lent this driver's properties, log and statistics.
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
    // Downloads a data area into data block by block: next() fetches one
    // block (after ReserveBlock) and commits what it keeps; a block that adds
    // nothing ends the area, every other one is a progress step. On an error
    // or an abort the buffer is freed; an empty area leaves it freed.
    template <class Next>
    int32_t DownloadBlocks(RecordBuffer& data, Next next) {
        data.Free();
        for (;;) {
            const uint32_t before = data.Length();
            int32_t result = next();
            if (result == RETCODE_OK && data.Length() == before) {
                if (before == 0) data.Free();
                return RETCODE_OK;
            }
            if (result == RETCODE_OK) result = StepProgress();
            if (result != RETCODE_OK) {
                data.Free();
                return result;
            }
        }
    }
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

private:
    // The frame of Read and Write: the progress and the request delay start
    // afresh, the action property is read and run(action) carries it out.
    template <class Run>
    int32_t RunAction(const char* attempting, const char* succeeded, Run run);
    // Logs an action the operation does not know: RETCODE_ERR_INVALIDPROPERTYVALUE.
    int32_t InvalidAction(const char* action);
    int32_t CheckUnitType();
    int32_t CheckBattery();
    int32_t ProgramStudy();
    // Builds a dump document with fill(builder) when a log folder is set.
    template <class Fill>
    void WriteDocument(Fill fill);

    const CounterModelInfo& model_;
    const Rules rules_;
};

}  // namespace tallyx
