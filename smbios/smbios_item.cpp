#include "smbios/smbios_item.h"

#include <cstring>
#include <ios>
#include <iomanip>
#include <limits>
#include <new>

#include "layout/little_endian.h"
#include "layout/smbios_structure_header.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_structure.h"
#include "smbios/smbios_workarounds.h"
#include "smbios/stream_state_guard.h"

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
// structure as measured, two closing NULs where the table cut it short, and
// at least the header and the whole formatted area.
std::size_t completeSize(const std::uint8_t* bytes, const StructureExtent& extent) {
    const std::size_t formattedLength = extent.size > 1 ? bytes[1] : 0;
    const std::size_t needed = (formattedLength > 4 ? formattedLength : 4) + 2;
    const std::size_t withClosingNuls = extent.closed ? extent.size : extent.size + 2;
    return withClosingNuls > needed ? withClosingNuls : needed;
}

}  // namespace

namespace {

// Storage of dropped items, ready for the next ones. Per thread, so no lock
// is needed; bounded, so a burst of items does not stay reserved for ever.
// Off in the sanitizer builds, which must see every use of a dropped item.
struct FreeStorage {
    FreeStorage* next;
};
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kMaxFreeItems = 0;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
constexpr std::size_t kMaxFreeItems = 0;
#  else
constexpr std::size_t kMaxFreeItems = 4096;
#  endif
#else
constexpr std::size_t kMaxFreeItems = 4096;
#endif
thread_local FreeStorage* freeItems = nullptr;
thread_local std::size_t freeItemCount = 0;

}  // namespace

void* SmbiosItem::operator new(std::size_t bytes) {
    if (bytes == sizeof(SmbiosItem) && freeItems != nullptr) {
        FreeStorage* storage = freeItems;
        freeItems = storage->next;
        --freeItemCount;
        return storage;
    }
    return ::operator new(bytes);
}

void SmbiosItem::operator delete(void* storage, std::size_t bytes) {
    if (storage == nullptr) return;
    if (bytes == sizeof(SmbiosItem) && freeItemCount < kMaxFreeItems) {
        freeItems = new (storage) FreeStorage{freeItems};
        ++freeItemCount;
        return;
    }
    ::operator delete(storage);
}

void SmbiosItem::allocate(std::size_t byteCount) {
    size = byteCount;
    if (byteCount <= kInlineBytes) {
        buffer = std::unique_ptr<std::uint8_t[], ReleaseBytes>(inlineBytes, ReleaseBytes{false});
    } else {
        buffer = std::unique_ptr<std::uint8_t[], ReleaseBytes>(new std::uint8_t[byteCount], ReleaseBytes{true});
    }
}

SmbiosItem::SmbiosItem(const std::uint8_t* bytes, std::size_t available)
    : SmbiosItem(bytes, measureStructure(bytes, available)) {}

SmbiosItem::SmbiosItem(const std::uint8_t* bytes, const StructureExtent& extent) {
    allocate(completeSize(bytes, extent));
    if (extent.size > 0) std::memcpy(buffer.get(), bytes, extent.size);
    if (size > extent.size) std::memset(buffer.get() + extent.size, 0, size - extent.size);
}

SmbiosItem::SmbiosItem(const SmbiosItem& other) : ISmbiosItem() {
    allocate(other.size);
    std::memcpy(buffer.get(), other.buffer.get(), size);
}

SmbiosItem::~SmbiosItem() = default;

std::unique_ptr<ISmbiosItem> SmbiosItem::clone() { return std::make_unique<SmbiosItem>(*this); }

std::unique_ptr<const ISmbiosItem> SmbiosItem::clone() const { return std::make_unique<const SmbiosItem>(*this); }

std::ostream& SmbiosItem::print(std::ostream& stream) const {
    const StreamStateGuard callersFormat(stream);
    if (!buffer || size < 4) return stream << "operator << on an uninitialized SmbiosItem!";
    stream << "Handle 0x" << std::hex << std::setw(4) << std::setfill('0') << handle() << std::endl;
    stream << "\tDMI type 0x" << static_cast<unsigned>(type()) << ", " << std::dec << static_cast<unsigned>(length())
           << " bytes." << std::endl;
    return stream;
}

std::uint8_t SmbiosItem::type() const { return buffer[layout::structure_header::kType]; }

std::uint8_t SmbiosItem::length() const { return buffer[layout::structure_header::kLength]; }

std::uint16_t SmbiosItem::handle() const {
    return layout::read16(buffer.get(), size, layout::structure_header::kHandle);
}

void SmbiosItem::readData(unsigned offset, void* out, std::size_t count) const {
    const unsigned formattedLength = length();
    if (offset > formattedLength) throwOutOfBounds(kOutsideHeader, offset, size);
    if (count > std::numeric_limits<unsigned>::max() - offset) throwOutOfBounds(kOutsideHeader, offset, size);
    if (offset + count > formattedLength) throwOutOfBounds(kOutsideHeader, offset, size);
    if (offset >= size) throwOutOfBounds(kOutsideBuffer, offset, size);
    // A zero-byte read copies nothing; memcpy must not see a null `out` even then.
    if (count > 0) std::memcpy(out, buffer.get() + offset, count);
}

std::uint8_t* SmbiosItem::copyBuffer(std::size_t& outSize) const {
    outSize = size;
    std::uint8_t* copy = new std::uint8_t[size];
    std::memcpy(copy, buffer.get(), size);
    return copy;
}

std::size_t SmbiosItem::bufferSize() const { return size; }

namespace {

// The failures of a string lookup, kept out of the lookup's own code.
[[noreturn]] __attribute__((noinline, cold)) void throwStringMissing(const char* message) {
    throw StringUnavailableImpl(message);
}

[[noreturn]] __attribute__((noinline, cold)) void throwStringOverflow(const std::uint8_t* position,
                                                                      const std::uint8_t* base, std::size_t size) {
    ParseExceptionImpl error(
        "Overflow while getting byte data at location: cur_loc >= base_loc + header_size\n cur_loc : "
        "%(cur_loc)i\n base_loc : %(base_loc)i\n header_size : %(header_size)i ");
    error.setParameter("cur_loc", static_cast<int>(reinterpret_cast<std::uintptr_t>(position)));
    error.setParameter("base_loc", static_cast<int>(reinterpret_cast<std::uintptr_t>(base)));
    error.setParameter("header_size", static_cast<int>(size));
    throw error;
}

}  // namespace

const char* SmbiosItem::stringAt(std::uint8_t number) const {
    if (number == 0) throwStringMissing("String does not exist.");
    const std::uint8_t* const base = buffer.get();
    const std::uint8_t* const end = base + size;
    const std::uint8_t* position = base + base[1];  // behind the formatted area
    unsigned step = 1;
    // Strings are mostly read in order: go on from the last one found.
    if (lastStringNumber != 0 && lastStringNumber <= number) {
        step = lastStringNumber;
        position = lastString;
    }
    for (; step < number; ++step) {
        // Past the current string and its NUL; the item's buffer always ends
        // in two NULs, so the walk stops inside it.
        const void* nul = std::memchr(position, 0, static_cast<std::size_t>(end - position));
        position = nul != nullptr ? static_cast<const std::uint8_t*>(nul) + 1 : end;
        if (position >= end) throwStringOverflow(position, base, size);
        if (*position == 0) throwStringMissing("The string does not exist. Bad index caused this error");
    }
    lastStringNumber = number;
    lastString = position;
    return reinterpret_cast<const char*>(position);
}

void SmbiosItem::applyWorkarounds(const SmbiosWorkaroundTable* workarounds) {
    applyWorkaroundsTo(*this, buffer.get(), size, workarounds);
}

}  // namespace smbios
