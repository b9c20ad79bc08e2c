#include "smbios/smbios_item.h"

#include <cstring>
#include <ios>
#include <iomanip>
#include <limits>

#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_workarounds.h"

namespace smbios {

namespace {

[[noreturn]] void throwOutOfBounds(const char* message, unsigned offset, std::size_t bufferSize) {
    DataOutOfBoundsImpl error(message);
    error.setParameter("offset", static_cast<int>(offset));
    error.setParameter("header_length", static_cast<int>(bufferSize));
    throw error;
}

constexpr const char* kOutsideHeader =
    "Attempt to access data outside the length of header. offset : %(offset)i, header_length : %(header_length)i";
constexpr const char* kOutsideBuffer =
    "Attempt to access data outside header buffer. Impossible situation! offset : %(offset)i, header_length : "
    "%(header_length)i";

}  // namespace

ISmbiosItem::~ISmbiosItem() = default;

std::ostream& operator<<(std::ostream& stream, const ISmbiosItem& item) { return item.print(stream); }

namespace {

// The buffer size that keeps every read of an item inside its buffer: the
// header, the formatted area and two closing NULs at least.
std::size_t completeSize(const std::uint8_t* bytes, std::size_t byteCount) {
    const std::size_t formattedLength = byteCount > 1 ? bytes[1] : 0;
    std::size_t needed = (formattedLength > 4 ? formattedLength : 4) + 2;
    const bool closed = byteCount >= 2 && bytes[byteCount - 1] == 0 && bytes[byteCount - 2] == 0;
    const std::size_t withClosingNuls = closed ? byteCount : byteCount + 2;
    return withClosingNuls > needed ? withClosingNuls : needed;
}

}  // namespace

SmbiosItem::SmbiosItem(const std::uint8_t* bytes, std::size_t byteCount)
    : buffer(new std::uint8_t[completeSize(bytes, byteCount)]()), size(completeSize(bytes, byteCount)) {
    if (byteCount > 0) std::memcpy(buffer.get(), bytes, byteCount);
}

SmbiosItem::~SmbiosItem() = default;

std::unique_ptr<ISmbiosItem> SmbiosItem::clone() { return std::make_unique<SmbiosItem>(buffer.get(), size); }

std::unique_ptr<const ISmbiosItem> SmbiosItem::clone() const {
    return std::make_unique<const SmbiosItem>(buffer.get(), size);
}

std::ostream& SmbiosItem::print(std::ostream& stream) const {
    if (!buffer || size < 4) return stream << "operator << on an uninitialized SmbiosItem!";
    const std::ios_base::fmtflags flags = stream.flags();
    const char fill = stream.fill();
    stream << "Handle 0x" << std::hex << std::setw(4) << std::setfill('0') << handle() << std::endl;
    stream << "\tDMI type 0x" << std::hex << static_cast<unsigned>(type()) << ", " << std::dec
           << static_cast<unsigned>(length()) << " bytes." << std::endl;
    stream.fill(fill);
    stream.flags(flags);
    return stream;
}

std::uint8_t SmbiosItem::type() const { return buffer[0]; }

std::uint8_t SmbiosItem::length() const { return buffer[1]; }

std::uint16_t SmbiosItem::handle() const {
    return static_cast<std::uint16_t>(buffer[2] | (buffer[3] << 8));
}

void SmbiosItem::readData(unsigned offset, void* out, std::size_t count) const {
    const unsigned formattedLength = length();
    if (offset > formattedLength) throwOutOfBounds(kOutsideHeader, offset, size);
    if (count > std::numeric_limits<unsigned>::max() - offset) throwOutOfBounds(kOutsideHeader, offset, size);
    if (offset + count > formattedLength) throwOutOfBounds(kOutsideHeader, offset, size);
    if (offset >= size) throwOutOfBounds(kOutsideBuffer, offset, size);
    std::memcpy(out, buffer.get() + offset, count);
}

std::uint8_t* SmbiosItem::copyBuffer(std::size_t& outSize) const {
    outSize = size;
    std::uint8_t* copy = new std::uint8_t[size];
    std::memcpy(copy, buffer.get(), size);
    return copy;
}

std::size_t SmbiosItem::bufferSize() const { return size; }

const char* SmbiosItem::stringAt(std::uint8_t number) const {
    if (number == 0) throw StringUnavailableImpl("String does not exist.");
    const std::uint8_t* const base = buffer.get();
    const std::uint8_t* const end = base + size;
    const std::uint8_t* position = base + length();
    for (unsigned step = 1; step < number; ++step) {
        // Past the current string and its NUL; the item's buffer always ends
        // in two NULs, so the walk stops inside it.
        const void* nul = std::memchr(position, 0, static_cast<std::size_t>(end - position));
        position = nul != nullptr ? static_cast<const std::uint8_t*>(nul) + 1 : end;
        if (position >= end) {
            ParseExceptionImpl error(
                "Overflow while getting byte data at location: cur_loc >= base_loc + header_size\n cur_loc : "
                "%(cur_loc)i\n base_loc : %(base_loc)i\n header_size : %(header_size)i ");
            error.setParameter("cur_loc", static_cast<int>(reinterpret_cast<std::uintptr_t>(position)));
            error.setParameter("base_loc", static_cast<int>(reinterpret_cast<std::uintptr_t>(base)));
            error.setParameter("header_size", static_cast<int>(size));
            throw error;
        }
        if (*position == 0) throw StringUnavailableImpl("The string does not exist. Bad index caused this error");
    }
    return reinterpret_cast<const char*>(position);
}

namespace {

// The low `size` bytes of `value`, little-endian, as a symptom or fix holds them.
std::uint8_t entryByte(const WorkaroundEntry& entry, std::uint32_t index) {
    return index < 8 ? static_cast<std::uint8_t>(entry.value >> (8 * index)) : 0;
}

// Reads through readData, so a symptom outside the formatted area throws
// DataOutOfBounds rather than being taken as a mismatch.
bool symptomsHold(const ISmbiosItem& item, const WorkaroundEntry* symptoms) {
    for (const WorkaroundEntry* symptom = symptoms; symptom->type != 0; ++symptom) {
        std::uint8_t bytes[8] = {};
        const std::uint32_t count = symptom->size < 8 ? symptom->size : 8;
        item.readData(symptom->offset, bytes, count);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (bytes[i] != entryByte(*symptom, i)) return false;
        }
    }
    return true;
}

}  // namespace

// Changes only this item's copy; the table's raw bytes stay as the firmware
// wrote them.
void SmbiosItem::applyWorkarounds(const SmbiosWorkaroundTable* workarounds) {
    if (workarounds == nullptr || workarounds->workarounds() == nullptr) return;
    for (WorkaroundList definition = workarounds->workarounds(); *definition != nullptr; ++definition) {
        const WorkaroundEntry* symptoms = (*definition)->symptoms;
        if (symptoms->type == 0 || symptoms->type != type()) continue;
        if (!symptomsHold(*this, symptoms)) continue;
        for (const WorkaroundEntry* fix = (*definition)->fixes; fix->type != 0; ++fix) {
            if (fix->offset > size || fix->size > size - fix->offset) {
                InternalErrorImpl error(
                    "Data overflow. Offset requested is larger than data size. offset: %(offset)i, data size: "
                    "%(size)i");
                error.setParameter("offset", static_cast<int>(fix->offset));
                error.setParameter("size", static_cast<int>(size));
                throw error;
            }
            for (std::uint32_t i = 0; i < fix->size; ++i) buffer[fix->offset + i] = entryByte(*fix, i);
        }
    }
}

}  // namespace smbios
