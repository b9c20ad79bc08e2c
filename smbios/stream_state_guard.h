#ifndef VELMORA_SMBIOS_STREAM_STATE_GUARD_H
#define VELMORA_SMBIOS_STREAM_STATE_GUARD_H

#include <ostream>

namespace smbios {

// The printed forms of items and tables set the number base, adjustment, fill
// and width they need, whatever the caller left in the stream (std::left, a
// hex base); this puts the caller's formatting back on every way out.
class StreamStateGuard {
public:
    explicit StreamStateGuard(std::ostream& stream)
        : stream_(stream), flags_(stream.flags()), fill_(stream.fill()), width_(stream.width()) {
        stream.flags(std::ios_base::dec | std::ios_base::right);
        stream.fill(' ');
        stream.width(0);
    }
    ~StreamStateGuard() {
        stream_.flags(flags_);
        stream_.fill(fill_);
        stream_.width(width_);
    }
    StreamStateGuard(const StreamStateGuard&) = delete;
    StreamStateGuard& operator=(const StreamStateGuard&) = delete;

private:
    std::ostream& stream_;
    std::ios_base::fmtflags flags_;
    char fill_;
    std::streamsize width_;
};

}  // namespace smbios

#endif
