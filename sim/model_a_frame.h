// Model A text frames: the text, "|", the 8-bit sum of the text in upper-case hexadecimal
// without leading zeros, and a carriage return. Commands and answers use the same frame.
#pragma once

#include <string>
#include <string_view>

namespace tallysim {

std::string FrameModelA(std::string_view text);

struct ModelAFrame {
    bool valid = false;
    std::string text;   // before the check value
    std::string check;  // as received
    std::string problem;
};

// Checks one received frame, given without its carriage return. The check value follows the
// last "|", so a text may itself contain "|".
ModelAFrame ParseModelAFrame(std::string_view frame);

// A framed answer whose check value is spoiled: "wrong" (another value), "lower" (lower-case
// letters; another value when the check has no letters), "zero" (a leading zero) or "missing"
// (no "|" and no check value at all). An empty form is "wrong".
std::string GarbledModelAFrame(std::string_view text, const std::string& form);

}  // namespace tallysim
