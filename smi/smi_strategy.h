#ifndef VELMORA_SMI_SMI_STRATEGY_H
#define VELMORA_SMI_SMI_STRATEGY_H

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace smi {

// Carries one SMI request out: the caller locks, sizes the buffer, learns its
// physical address, fills it piece by piece, executes, reads the answer back
// piece by piece and finishes.
class SmiStrategy {
public:
    virtual ~SmiStrategy();
    virtual void lock() = 0;
    virtual void setSize(std::size_t size) = 0;
    virtual std::uint32_t getPhysicalBufferBaseAddress() = 0;
    virtual void addInputBuffer(const std::uint8_t* bytes, std::size_t size) = 0;
    virtual void execute() = 0;
    virtual void getResultBuffer(std::uint8_t* bytes, std::size_t size) = 0;
    virtual int finish() = 0;
};

// The declarations of every SmiStrategy operation, for its implementations.
#define VELMORA_SMI_STRATEGY_OVERRIDES                                       \
  void lock() override;                                                      \
  void setSize(std::size_t size) override;                                   \
  std::uint32_t getPhysicalBufferBaseAddress() override;                     \
  void addInputBuffer(const std::uint8_t* bytes, std::size_t size) override; \
  void execute() override;                                                   \
  void getResultBuffer(std::uint8_t* bytes, std::size_t size) override;      \
  int finish() override;

// Raising an SMI needs a physically contiguous buffer and access to the
// command port; this library does not provide that on any platform, so every
// operation throws NotImplemented with a message naming the platform.
class SmiArchStrategy : public SmiStrategy {
public:
    ~SmiArchStrategy() override;
    VELMORA_SMI_STRATEGY_OVERRIDES
};

// The firmware's stand-in for tests: the request image is written to a file
// (created or emptied when the strategy is made) and read back as the answer,
// so the file shows exactly what a call sent. getResultBuffer leaves the
// bytes the file does not hold as they were.
class SmiMockStrategy : public SmiStrategy {
public:
    // What getPhysicalBufferBaseAddress() reports.
    static constexpr std::uint32_t kBufferBase = 0xDEADBEEF;

    // Throws smbios::InternalError when the file cannot be opened.
    explicit SmiMockStrategy(const std::string& fileName);
    ~SmiMockStrategy() override;

    VELMORA_SMI_STRATEGY_OVERRIDES

private:
    std::string fileName_;
    std::fstream file_;
};

}  // namespace smi

#endif
