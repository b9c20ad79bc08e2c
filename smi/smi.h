#ifndef VELMORA_SMI_SMI_H
#define VELMORA_SMI_SMI_H

#include <cstddef>
#include <cstdint>

namespace smi {

// One request to the firmware through a system management interrupt: built
// by the caller, carried out by a strategy, made per call.
class ISmi {
public:
    // Sends the request and reads the firmware's answer back; returns what the
    // strategy's finish() reports. Throws UnhandledSmi, UnsupportedSmi or
    // SmiExecutedWithError when result 0 carries one of the firmware's
    // failure codes.
    virtual int execute() = 0;
    // The data buffer sent behind the request; null before setBufferSize().
    virtual std::uint8_t* getBufferPtr() = 0;
    // A new size gives a new buffer of zero bytes; the same size keeps the contents.
    virtual void setBufferSize(std::size_t size) = 0;
    // The I/O port that triggers the interrupt and the code byte written to it.
    virtual void setCommandIOMagic(std::uint16_t address, std::uint8_t code) = 0;
    virtual ~ISmi();
};

// The firmware's calling interface: a class, a select code, four 32-bit
// arguments and four 32-bit results.
class IQuorCallingInterfaceSmi : public virtual ISmi {
public:
    virtual void setClass(std::uint16_t cls) = 0;
    virtual void setSelect(std::uint16_t select) = 0;
    // Index 0..3; any other throws smi::ParameterError.
    virtual void setArg(std::uint8_t index, std::uint32_t value) = 0;
    virtual std::uint32_t getRes(std::uint8_t index) const = 0;
    // Argument `index` is sent as the physical address of the data buffer
    // plus `offset`, known only when the call executes.
    virtual void setArgAsPhysicalAddress(std::uint8_t index, std::uint32_t offset) = 0;
};

}  // namespace smi

#endif
