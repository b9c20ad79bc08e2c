#include "cmos/cmos_rw.h"

#include <algorithm>
#include <exception>
#include <sstream>

#include "smbios/cmos_exceptions.h"

namespace cmos {

namespace {

constexpr std::uint32_t kBankSize = 256;

// Restores the notification being delivered when a nested one ends.
class Announcement {
public:
    Announcement(const std::vector<CmosByte>*& announced, std::uint64_t& current, const std::vector<CmosByte>* now,
                 std::uint64_t id)
        : announced_(announced), current_(current), savedAnnounced_(announced), savedCurrent_(current) {
        announced_ = now;
        current_ = id;
    }
    ~Announcement() {
        announced_ = savedAnnounced_;
        current_ = savedCurrent_;
    }
    Announcement(const Announcement&) = delete;
    Announcement& operator=(const Announcement&) = delete;

private:
    const std::vector<CmosByte>*& announced_;
    std::uint64_t& current_;
    const std::vector<CmosByte>* savedAnnounced_;
    std::uint64_t savedCurrent_;
};

}  // namespace

ICmosRW::~ICmosRW() = default;

IWriteGuard::~IWriteGuard() = default;

Suppressable::~Suppressable() = default;

void Suppressable::addGuard(const IWriteGuard* guard) { guards_.push_back(guard); }

void Suppressable::removeGuard(const IWriteGuard* guard) {
    guards_.erase(std::remove(guards_.begin(), guards_.end(), guard), guards_.end());
}

void Suppressable::checkWrite(std::uint32_t indexPort, std::uint32_t offset, std::size_t count) const {
    for (const IWriteGuard* guard : guards_) guard->checkWrite(indexPort, offset, count);
}

void Suppressable::recordWrite(std::uint32_t indexPort, std::uint32_t offset) {
    for (const CmosByte& known : pending_) {
        if (known.indexPort == indexPort && known.offset == offset) return;
    }
    pending_.push_back({indexPort, offset});
}

void Suppressable::byteWritten(std::uint32_t indexPort, std::uint32_t offset) {
    recordWrite(indexPort, offset);
    if (!isSuppressed()) notify(nullptr);
}

void Suppressable::notify(const void* parameter) {
    std::vector<CmosByte> announced;
    announced.swap(pending_);
    const Announcement scope(announced_, current_, announced.empty() ? nullptr : &announced, ++serial_);
    IObservable::notify(parameter);
}

void writeBlock(std::uint32_t startOffset, ICmosRW* accessor, std::uint32_t indexPort, std::uint32_t dataPort,
                const std::uint8_t* bytes, std::size_t count) {
    if (count > 0 && (startOffset >= kBankSize || count > kBankSize - startOffset)) {
        std::ostringstream message;
        message << std::hex << "Refused to write CMOS bytes 0x" << startOffset << "-0x" << startOffset + count - 1
                << " of index port 0x" << indexPort
                << ": they run past the end of the 256-byte bank. Nothing was written.";
        throw CmosWriteRefusedImpl(message.str());
    }
    Suppressable* observable = dynamic_cast<Suppressable*>(accessor);
    if (observable != nullptr) observable->checkWrite(indexPort, startOffset, count);
    std::exception_ptr failure;
    {
        SuppressionScope quiet(observable);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t offset = startOffset + static_cast<std::uint32_t>(i);
            try {
                accessor->writeByte(indexPort, dataPort, offset, bytes[i]);
            } catch (...) {
                // The byte may have been stored before the failure.
                if (observable != nullptr) observable->recordWrite(indexPort, offset);
                failure = std::current_exception();
                break;
            }
        }
    }
    if (observable != nullptr) {
        if (failure) {
            // The write's own failure is what the caller must see.
            try {
                observable->notify(nullptr);
            } catch (...) {
            }
        } else {
            observable->notify(nullptr);
        }
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace cmos
