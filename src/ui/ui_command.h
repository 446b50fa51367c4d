#pragma once
// tallyx ui: the browser application on 127.0.0.1.
#include <cstdint>
#include <string>

namespace tallyx::ui {

struct UiOptions {
    int port = 0;            // 0: a free port
    bool noBrowser = false;
    std::string archive;     // --archive FILE
};

// Serves until Ctrl-C; the exit status.
int RunUi(const UiOptions& options);

// The text of tallyx ui --help after the options.
const char* UiHelp();

}  // namespace tallyx::ui
