// A child for the Windows platform tests.
//   platform_child startup       exits with 100 * (STARTF_USESHOWWINDOW set) + wShowWindow
//   platform_child sleep MS FILE  sleeps MS milliseconds, then creates FILE
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "startup") == 0) {
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        GetStartupInfoA(&startup);
        return ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? 100 : 0) + startup.wShowWindow;
    }
    if (argc >= 4 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        HANDLE file = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        CloseHandle(file);
        return 0;
    }
    return 64;
}
