#ifndef VELMORA_SMBIOS_SMBIOS_ITEM_H
#define VELMORA_SMBIOS_SMBIOS_ITEM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>

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
    // Copies `size` bytes of a structure: its formatted area and its string
    // set with the two closing NULs. Bytes cut short (a structure at the end
    // of a truncated table) are completed with zeros, so the buffer always
    // holds the whole formatted area and ends in two NULs.
    SmbiosItem(const std::uint8_t* bytes, std::size_t size);
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

    // Corrects the item in place for each definition of `workarounds` whose
    // symptoms all hold. A symptom read outside the formatted area throws
    // DataOutOfBounds; a fix outside the buffer throws InternalError.
    virtual void applyWorkarounds(const SmbiosWorkaroundTable* workarounds);

private:
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t size;
};

}  // namespace smbios

#endif
