#pragma once
// Opening an address in the user's browser: xdg-open on Linux, the shell's
// default browser on Windows. Returns at once, without waiting for the browser.
#include <string>

namespace tallyx {

// False with the reason when no browser could be started.
bool OpenInBrowser(const std::string& address, std::string& error);

}  // namespace tallyx
