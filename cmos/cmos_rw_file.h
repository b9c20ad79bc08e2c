#ifndef VELMORA_CMOS_CMOS_RW_FILE_H
#define VELMORA_CMOS_CMOS_RW_FILE_H

#include <string>

#include "cmos/cmos_rw.h"

namespace cmos {

// CMOS held in an image file, for tests: one 256-byte page per index port
// value, so the byte for (indexPort, offset) lies at indexPort * 256 +
// offset; the data port plays no part. Bytes past the end of the file read
// as 0xFF, as unpopulated CMOS does. The file is opened for every byte and
// nothing is cached, so the file always shows what was written.
class CmosRWFile : public ICmosRW, public Suppressable {
public:
    explicit CmosRWFile(const std::string& fileName);
    ~CmosRWFile() override;

    // Throws smbios::InternalError when the file cannot be opened.
    std::uint8_t readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) override;
    // Throws cmos::CmosWriteRefused when a guard refuses the byte, before the
    // file is touched, and smbios::InternalError when the file cannot be
    // opened for update (it is never created) or the byte cannot be stored.
    // Notifies the observers unless suppressed.
    void writeByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset, std::uint8_t value) override;

private:
    std::string fileName_;
};

}  // namespace cmos

#endif
