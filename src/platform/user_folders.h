#pragma once
// The folders of the user that runs the program: where per-user data lives.
#include <string>

namespace tallyx {

// The per-user data folder of tallyx: $XDG_DATA_HOME/tallyx, else
// ~/.local/share/tallyx (Linux); %LOCALAPPDATA%\tallyx (Windows). Empty when
// the system names no such folder.
std::string UserDataFolder();

// The value of an environment variable; empty when unset.
std::string EnvironmentValue(const char* name);

}  // namespace tallyx
