// The simulated bridge library as a Windows DLL. Only Win32 code belongs here.
#include <windows.h>

#include <cstring>
#include <string>

#include "sim/simulator.h"

namespace {

// Leaves an export out by renaming it in the library's own export name
// table, so GetProcAddress no longer finds it, as with a library that lacks
// the function. Only the last character changes, to one no export name uses:
// the table stays sorted, because every pair of names differs earlier.
void hideExport(HMODULE module, const char* name) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) return;
    auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    auto* names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        char* exported = reinterpret_cast<char*>(base + names[i]);
        if (std::strcmp(exported, name) != 0) continue;
        char* last = exported + std::strlen(exported) - 1;
        DWORD oldProtection = 0;
        if (VirtualProtect(last, 1, PAGE_READWRITE, &oldProtection)) {
            *last = '~';
            VirtualProtect(last, 1, oldProtection, &oldProtection);
        }
    }
}

std::string inCurrentDirectory(const char* fileName) {
    char directory[MAX_PATH + 1] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory) return fileName;
    std::string path(directory, length);
    if (path.back() != '\\') path += '\\';
    return path + fileName;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        // The scenario and the call log live in the current directory of the
        // process that loads the library, beside the agent's script.
        sim::loadScenarioFile(inCurrentDirectory("vexbmc32.scenario"));
        sim::setCallLogPath(inCurrentDirectory("vexbmc32-calls.log"));
        for (const char* name : sim::kExportNames) {
            if (sim::isMissing(name)) hideExport(instance, name);
        }
    }
    return TRUE;
}
