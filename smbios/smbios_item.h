#ifndef VELMORA_SMBIOS_SMBIOS_ITEM_H
#define VELMORA_SMBIOS_SMBIOS_ITEM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>

#include "smbios/smbios_structure.h"

namespace smbios {

class SmbiosWorkaroundTable;

// One SMBIOS structure: its formatted area (header included) and its string
// set. Reads of the formatted area are bounds-checked; strings are reached by
// their number only.
class ISmbiosItem {
public:
    virtual ~ISmbiosItem();
    virtual std::unique_ptr<ISmbiosItem> clone() = 0;
    virtual std::unique_ptr<const ISmbiosItem> clone() const = 0;
    virtual std::ostream& print(std::ostream& stream) const = 0;
    virtual std::uint8_t type() const = 0;
    virtual std::uint8_t length() const = 0;
    virtual std::uint16_t handle() const = 0;
    // Copies `size` bytes of the formatted area from `offset`; throws
    // DataOutOfBounds outside it.
    virtual void readData(unsigned offset, void* out, std::size_t size) const = 0;
    // A new array (release with delete[]) holding the whole buffer.
    virtual std::uint8_t* copyBuffer(std::size_t& outSize) const = 0;
    virtual std::size_t bufferSize() const = 0;
    // String `number` (1-based) of the structure, inside the item's buffer.
    virtual const char* stringAt(std::uint8_t number) const = 0;
};

std::ostream& operator<<(std::ostream& stream, const ISmbiosItem& item);

class SmbiosItem : public ISmbiosItem {
public:
    // Copies the structure at `bytes`, of which `available` bytes may be read:
    // its formatted area and its string set with the two closing NULs. Bytes
    // cut short (a structure at the end of a truncated table) are completed
    // with zeros, so the buffer always holds the whole formatted area and
    // ends in two NULs.
    SmbiosItem(const std::uint8_t* bytes, std::size_t available);
    // The same for a structure already measured (measureStructure).
    SmbiosItem(const std::uint8_t* bytes, const StructureExtent& extent);
    SmbiosItem(const SmbiosItem& other);
    SmbiosItem& operator=(const SmbiosItem&) = delete;
    ~SmbiosItem() override;

    std::unique_ptr<ISmbiosItem> clone() override;
    std::unique_ptr<const ISmbiosItem> clone() const override;
    std::ostream& print(std::ostream& stream) const override;
    std::uint8_t type() const override;
    std::uint8_t length() const override;
    std::uint16_t handle() const override;
    void readData(unsigned offset, void* out, std::size_t size) const override;
    std::uint8_t* copyBuffer(std::size_t& outSize) const override;
    std::size_t bufferSize() const override;
    const char* stringAt(std::uint8_t number) const override;

    // Items of a table are built and dropped by the hundred: their storage is
    // kept for reuse (per thread, up to a bound) instead of going back to the
    // general heap each time.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* storage, std::size_t bytes);

    // Corrects the item in place for each definition of `workarounds` whose
    // symptoms all hold. A symptom read outside the formatted area throws
    // DataOutOfBounds; a fix outside the buffer throws InternalError.
    virtual void applyWorkarounds(const SmbiosWorkaroundTable* workarounds);

private:
    // Most structures are short: their bytes live inside the item, so that
    // building one costs a single allocation. Longer ones go to the heap.
    static constexpr std::size_t kInlineBytes = 128;
    struct ReleaseBytes {
        bool onHeap;
        void operator()(std::uint8_t* bytes) const {
            if (onHeap) delete[] bytes;
        }
    };
    void allocate(std::size_t byteCount);

    std::unique_ptr<std::uint8_t[], ReleaseBytes> buffer;
    std::size_t size = 0;
    // The last string found and its number (0: none yet). The buffer is
    // written only by applyWorkarounds, before the item is handed out and so
    // before any lookup.
    mutable std::uint8_t lastStringNumber = 0;
    mutable const std::uint8_t* lastString = nullptr;
    std::uint8_t inlineBytes[kInlineBytes];
};

}  // namespace smbios

#endif
