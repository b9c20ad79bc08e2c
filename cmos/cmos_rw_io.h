#ifndef VELMORA_CMOS_CMOS_RW_IO_H
#define VELMORA_CMOS_CMOS_RW_IO_H

#include "cmos/cmos_rw.h"

namespace cmos {

// The machine's real CMOS ports. Windows reaches them through the kernel
// debugger's I/O-space service (reads only), Linux through /dev/port (reads
// and writes).
class CmosRWIo : public ICmosRW, public Suppressable {
public:
    // Throws smbios::NotImplemented, "Error loading DLLs needed to call
    // functions to read CMOS.", when the ports cannot be reached at all.
    CmosRWIo();
    CmosRWIo(const CmosRWIo&) = delete;
    CmosRWIo& operator=(const CmosRWIo&) = delete;
    ~CmosRWIo() override;

    // Writes `offset` to the index port and reads the data port. A failing
    // port access throws smbios::NotImplemented.
    std::uint8_t readByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset) override;
    // Windows: always throws smbios::NotImplemented. Linux: follows the
    // protocol of Suppressable (checkWrite() first, byteWritten() after),
    // writes the byte and reads it back; a failing port access throws
    // smbios::NotImplemented, a byte that does not read back as written
    // smbios::InternalError (it is recorded as possibly written, not
    // notified).
    void writeByte(std::uint32_t indexPort, std::uint32_t dataPort, std::uint32_t offset, std::uint8_t value) override;

private:
    // The opened port device where the system has one (-1 otherwise).
    int portDevice_ = -1;
};

}  // namespace cmos

#endif
