#ifndef VELMORA_TESTS_UNIT_SUPPORT_CAPTURED_OUTPUT_H
#define VELMORA_TESTS_UNIT_SUPPORT_CAPTURED_OUTPUT_H

// What the code under test prints on standard output or standard error. The
// product prints through the C runtime (printf, fprintf), so the stream's
// file descriptor is pointed at a temporary file for the life of the object.

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#ifdef _WIN32
#  include <io.h>
#  define VELMORA_DUP _dup
#  define VELMORA_DUP2 _dup2
#  define VELMORA_CLOSE _close
#  define VELMORA_FILENO _fileno
#else
#  include <unistd.h>
#  define VELMORA_DUP dup
#  define VELMORA_DUP2 dup2
#  define VELMORA_CLOSE close
#  define VELMORA_FILENO fileno
#endif

#include "tests/unit/support/temp_path.h"

namespace test_support {

class CapturedOutput {
public:
    // `stream` is stdout or stderr.
    explicit CapturedOutput(std::FILE* stream) : stream_(stream), file_("output", TempPath::Kind::File, ".txt") {
        std::fflush(stream_);
        saved_ = VELMORA_DUP(VELMORA_FILENO(stream_));
        std::FILE* capture = std::fopen(file_.string().c_str(), "wb");
        if (capture != nullptr) {
            VELMORA_DUP2(VELMORA_FILENO(capture), VELMORA_FILENO(stream_));
            std::fclose(capture);
        }
    }
    ~CapturedOutput() { restore(); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    // Everything printed so far; ends the capture.
    std::string text() {
        restore();
        std::ifstream in(file_.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stream_);
        VELMORA_DUP2(saved_, VELMORA_FILENO(stream_));
        VELMORA_CLOSE(saved_);
        saved_ = -1;
    }

    std::FILE* stream_;
    TempPath file_;
    int saved_ = -1;
};

// The same as a begin/end pair, for a capture that spans a helper's body:
// captureStderr() starts one, capturedStderr() ends it and returns the text.
inline std::unique_ptr<CapturedOutput>& pendingCapture(std::FILE* stream) {
    static std::unique_ptr<CapturedOutput> out, err;
    return stream == stdout ? out : err;
}
inline void captureStdout() { pendingCapture(stdout) = std::make_unique<CapturedOutput>(stdout); }
inline void captureStderr() { pendingCapture(stderr) = std::make_unique<CapturedOutput>(stderr); }
inline std::string capturedText(std::FILE* stream) {
    std::unique_ptr<CapturedOutput> capture = std::move(pendingCapture(stream));
    return capture ? capture->text() : std::string();
}
inline std::string capturedStdout() { return capturedText(stdout); }
inline std::string capturedStderr() { return capturedText(stderr); }

}  // namespace test_support

#undef VELMORA_DUP
#undef VELMORA_DUP2
#undef VELMORA_CLOSE
#undef VELMORA_FILENO

#endif
