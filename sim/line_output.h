// What a counter can do with its line: send bytes, pause, or hang up. Actions happen in the
// order they were given; a pause delays everything given after it.
#pragma once

#include <string>

namespace tallysim {

class LineOutput {
public:
    virtual ~LineOutput() = default;
    virtual void Send(std::string bytes) = 0;
    virtual void Pause(unsigned milliseconds) = 0;
    virtual void HangUp() = 0;
};

}  // namespace tallysim
