// The compact description of a simulated counter: who it is, the study it holds and the
// traffic it recorded. Written as "key = value" lines (a file, or --set options), for example
//
//   # a week on Main Street, 2000 vehicles
//   begin = 2009-03-02 00:00:00
//   end = 2009-03-09 00:00:00
//   period = 15
//   speedbins = 20 30 40 50 60
//   vehicles = 2000
//   seed = 7
//
// Keys are matched ignoring case (and '_' or '-' inside them); a line starting with '#' is a
// comment; blank lines are ignored; "key: value" works too. Every key and
// its meaning is listed by Description::KeyHelp().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drivers/counter_models.h"
#include "sim_time.h"

namespace tallysim {

// A simulated model: its row in the table of counter models (drivers/counter_models.h). A and B
// are named for the tests; any other row is ModelOf(its row).
enum class Model : size_t { A = tallyx::ModelIndexOfLetter("A"), B = tallyx::ModelIndexOfLetter("B") };

constexpr Model ModelOf(const tallyx::CounterModelInfo& info) {
    return static_cast<Model>(tallyx::ModelIndexOfLetter(info.letter));
}

// Model A: how the ":b" battery answer looks.
enum class BatteryForm {
    Voltage,  // ":b 4.05"
    Raw,      // ":b" and a raw reading in hexadecimal (no decimal point)
    None,     // ":b:N": the unit cannot measure; the legacy ":B" command gives the raw reading
};

struct DeviceDescription {
    std::string serialNumber;
    std::string unitType;          // contains ZK110 or ZK220
    std::string firmware;
    std::string batteryVoltage;    // decimal text
    BatteryForm batteryForm = BatteryForm::Voltage;  // model A
    unsigned batteryRaw = 0;       // model A raw reading; 0: derived from the voltage
    std::string acr;               // model A accumulated charge register text ("2000_1800_0_2000")
    std::string batteryPercent;    // model B
    bool dischargeCircuit = true;
    bool dateEncodingSupported = true;  // model A
};

struct StudyDescription {
    SimDateTime begin;
    SimDateTime end;
    unsigned periodMinutes = 15;
    std::string speedBins;         // decimal numbers separated by anything, as a property holds them
    std::string lengthBins;
    std::string state, city, county, street, direction, speedLimit, operatorInitials;
    // Model A.
    unsigned finishCode = 40;      // as the counter reports it (hexadecimal on the wire); 11-13 running
    unsigned completionCode = 40;  // what a running study reports once its end has passed
    unsigned eraseFinishCode = 0;  // what the counter reports right after an erase
    bool dateEncoding = false;     // records carry the day of the month
    std::string reverseBins = "N";
    // Model B.
    int stateCode = 0;             // 1-3 running
    std::string studyType = "TRAFFIC";
    unsigned recordSize = 8;
    std::string version = "1.0.0.0";  // the V element of the user area
    std::string userArea;          // the whole user-area document; empty: built from the fields
    unsigned userAreaBlockSize = 235;  // characters of the document per stored block
    std::string studyInfo;         // the GETSTUDYINFO data line as sent; empty: built from the study
    // Both: the counter's clock when the simulator starts; unset: the computer's local time (or,
    // for a running study, an hour before its end).
    bool clockGiven = false;
    SimDateTime clock;
};

struct TrafficDescription {
    // Number of vehicles; kFullFlash fills model A's sequential flash (8176 pages) exactly.
    uint64_t vehicles = 200;
    uint64_t seed = 1;
    double speedSpreadMph = 6.0;
    double truckShare = 0.12;
    double reverseShare = 0.45;
    double unclassifiedShare = 0.01;
    double stoppedShare = 0.005;
    double noLengthShare = 0.0;      // model A
    double invalidShare = 0.0;       // model A: records stored invalid (erased or without a day)
    double outOfSequenceShare = 0.0; // model A: records stamped earlier than the one before
    double implausibleShare = 0.0;   // speeds or lengths out of the plausible range
    double highFlagBitsShare = 0.0;  // model B: records with the top three flag bits set
    double fractionHundredthsShare = 0.0;  // model B: fraction bytes written in hundredths
    double temperatureC = 12.0;      // model A periodic records: mean temperature
    unsigned zeroOffsetEvery = 0;    // model A: every k-th periodic record stored with offset 0

    static constexpr uint64_t kFullFlash = ~0ull;
};

struct Description {
    Model model = Model::A;
    DeviceDescription device;
    StudyDescription study;
    TrafficDescription traffic;

    // The defaults of a model: a one-day study of 200 vehicles from 2009-03-02 00:00.
    static Description Defaults(Model model);

    // Sets one key. Returns false with a reason for an unknown key or a bad value.
    bool Set(const std::string& key, const std::string& value, std::string* error);
    // Reads "key = value" lines.
    bool Parse(const std::string& text, std::string* error);
    bool ParseFile(const std::string& path, std::string* error);

    // Every key with its meaning, one per line.
    static std::string KeyHelp();
};

// The decimal numbers of a bin list text, in order.
std::vector<uint32_t> BinNumbers(const std::string& text);

}  // namespace tallysim
