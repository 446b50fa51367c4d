#include "platform/browser.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace tallyx {

bool OpenInBrowser(const std::string& address, std::string& error) {
    std::wstring wide(address.begin(), address.end());  // the address is ASCII
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) > 32) return true;
    error = "the shell could not open the address (code " + std::to_string(reinterpret_cast<INT_PTR>(result)) + ")";
    return false;
}

}  // namespace tallyx
