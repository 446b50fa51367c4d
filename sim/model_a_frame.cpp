#include "model_a_frame.h"

#include <cctype>
#include <cstdio>

#include "checksums.h"

namespace tallysim {

std::string FrameModelA(std::string_view text) {
    std::string frame(text);
    frame += '|';
    frame += Sum8Text(text);
    frame += '\r';
    return frame;
}

ModelAFrame ParseModelAFrame(std::string_view frame) {
    ModelAFrame result;
    const size_t bar = frame.rfind('|');
    if (bar == std::string_view::npos) {
        result.text = std::string(frame);
        result.problem = "no check value";
        return result;
    }
    result.text = std::string(frame.substr(0, bar));
    result.check = std::string(frame.substr(bar + 1));
    const std::string expected = Sum8Text(result.text);
    if (result.check != expected) {
        result.problem = "check value " + result.check + " instead of " + expected;
        return result;
    }
    result.valid = true;
    return result;
}

std::string GarbledModelAFrame(std::string_view text, const std::string& form) {
    const uint8_t sum = Sum8(text);
    std::string check = Sum8Text(text);
    bool hasLetter = false;
    for (char c : check) hasLetter = hasLetter || std::isalpha(static_cast<unsigned char>(c));
    if (form == "missing") return std::string(text) + '\r';
    if (form == "zero") {
        check = "0" + check;
    } else if (form == "lower" && hasLetter) {
        for (auto& c : check) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else {
        char wrong[8];
        std::snprintf(wrong, sizeof wrong, "%X", static_cast<unsigned>(sum ^ 0x5A));
        check = wrong;
    }
    return std::string(text) + '|' + check + '\r';
}

}  // namespace tallysim
