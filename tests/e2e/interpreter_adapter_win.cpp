// Test helper of the end-to-end scenarios: the command interpreter that the
// product's system() calls start in the Wine test prefix. Win32 code only.
//
// usage: comspec_adapter.exe /c COMMAND
//          as COMSPEC: applies COMMAND's trailing output redirections the way
//          Windows' interpreter does (see interpreter_redirection.h), runs the
//          rest with Wine's cmd.exe /c and returns its exit code; any other
//          arguments go to cmd.exe unchanged
//        comspec_adapter.exe --launch PROGRAM [ARGS...]
//          runs PROGRAM with this adapter as its COMSPEC and returns its exit
//          code. Wine builds a program's environment from the prefix's
//          registry, which names cmd.exe as COMSPEC whatever the host's
//          environment says, so the adapter is put in place from inside.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/interpreter_redirection.h"

namespace {

constexpr char kLaunch[] = "--launch";
constexpr DWORD kFailure = 1;  // what the interpreter returns when it cannot redirect

std::string environmentValue(const char* name) {
    char value[MAX_PATH * 2] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string systemMessage(DWORD error) {
    char text[512] = {};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                       nullptr) == 0) {
        std::snprintf(text, sizeof text, "error %lu\r\n", error);
    }
    return text;
}

// Handles owned by this process and closed when it ends.
class HandleList {
public:
    ~HandleList() {
        for (HANDLE handle : handles_) CloseHandle(handle);
    }
    HANDLE keep(HANDLE handle) {
        handles_.push_back(handle);
        return handle;
    }

private:
    std::vector<HANDLE> handles_;
};

// An inheritable copy of one of this process's standard handles (which may
// be none at all).
HANDLE inheritableStandardHandle(DWORD which, HandleList& owned) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return handle;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return handle;
    }
    return owned.keep(copy);
}

// Starts `commandLine` with the three standard handles, waits for it and
// returns its exit code; kFailure (with a message) when it cannot start.
DWORD runAndWait(const char* application, const std::string& commandLine, HANDLE input, HANDLE output, HANDLE error) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD failure = GetLastError();
        std::fprintf(stderr, "comspec_adapter: cannot start %s: %s", commandLine.c_str(),
                     systemMessage(failure).c_str());
        return kFailure;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = kFailure;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

std::string realInterpreter() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "C:\\windows\\system32\\cmd.exe";
    return std::string(folder, length) + "\\cmd.exe";
}

// Opens the files of `redirections` in the order written, as the interpreter
// does, into `handles` (standard input, output, error). False with the
// system's message when one cannot be opened: the command is then not run.
bool applyRedirections(const std::vector<comspec::Redirection>& redirections, HANDLE handles[3], HandleList& owned) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    for (const comspec::Redirection& redirection : redirections) {
        if (redirection.kind == comspec::RedirectionKind::Duplicate) {
            handles[redirection.handle] = handles[redirection.duplicateOf];
            continue;
        }
        const bool append = redirection.kind == comspec::RedirectionKind::Append;
        const HANDLE file = CreateFileA(redirection.file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inheritable, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::fputs(systemMessage(GetLastError()).c_str(), stderr);
            return false;
        }
        owned.keep(file);
        if (append) SetFilePointer(file, 0, nullptr, FILE_END);
        handles[redirection.handle] = file;
    }
    return true;
}

int interpret(const std::string& arguments) {
    HandleList owned;
    HANDLE handles[3] = {inheritableStandardHandle(STD_INPUT_HANDLE, owned),
                         inheritableStandardHandle(STD_OUTPUT_HANDLE, owned),
                         inheritableStandardHandle(STD_ERROR_HANDLE, owned)};
    const std::string interpreter = realInterpreter();
    comspec::InterpreterCommand command;
    if (!comspec::parseInterpreterArguments(arguments, &command)) {
        return static_cast<int>(
            runAndWait(interpreter.c_str(), "cmd.exe" + arguments, handles[0], handles[1], handles[2]));
    }
    if (!applyRedirections(command.redirections, handles, owned)) return static_cast<int>(kFailure);
    return static_cast<int>(
        runAndWait(interpreter.c_str(), "cmd.exe /c " + command.text, handles[0], handles[1], handles[2]));
}

int launch(const std::string& program) {
    char self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !SetEnvironmentVariableA("COMSPEC", self)) {
        std::fprintf(stderr, "comspec_adapter: cannot name itself as COMSPEC\n");
        return static_cast<int>(kFailure);
    }
    HandleList owned;
    return static_cast<int>(runAndWait(nullptr, program, inheritableStandardHandle(STD_INPUT_HANDLE, owned),
                                       inheritableStandardHandle(STD_OUTPUT_HANDLE, owned),
                                       inheritableStandardHandle(STD_ERROR_HANDLE, owned)));
}

// The program and arguments after "--launch", when the arguments start so.
bool launchedProgram(const std::string& arguments, std::string* program) {
    const size_t switchAt = arguments.find_first_not_of(" \t");
    if (switchAt == std::string::npos || arguments.compare(switchAt, sizeof kLaunch - 1, kLaunch) != 0) return false;
    const size_t after = switchAt + sizeof kLaunch - 1;
    if (after >= arguments.size() || (arguments[after] != ' ' && arguments[after] != '\t')) return false;
    const size_t programAt = arguments.find_first_not_of(" \t", after);
    if (programAt == std::string::npos) return false;
    *program = arguments.substr(programAt);
    return true;
}

}  // namespace

int main() {
    const std::string arguments = comspec::argumentsAfterProgram(GetCommandLineA(), environmentValue("COMSPEC"));
    std::string program;
    if (launchedProgram(arguments, &program)) return launch(program);
    return interpret(arguments);
}
