#include <cstring>

#include "smi/smi_strategy.h"
#include "smbios/smbios_exceptions.h"

namespace smi {

SmiMockStrategy::SmiMockStrategy(const std::string& fileName)
    : fileName_(fileName), file_(fileName, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc) {
    if (!file_.is_open()) {
        smbios::InternalErrorImpl error("Internal Error: could not open smi file %(file)s");
        error.setParameter("file", fileName_);
        throw error;
    }
}

SmiMockStrategy::~SmiMockStrategy() = default;

void SmiMockStrategy::lock() {}

void SmiMockStrategy::setSize(std::size_t) {}

std::uint32_t SmiMockStrategy::getPhysicalBufferBaseAddress() { return kBufferBase; }

void SmiMockStrategy::addInputBuffer(const std::uint8_t* bytes, std::size_t size) {
    // A stream may switch from reading to writing only through a seek.
    file_.clear();
    file_.seekp(0, std::ios::cur);
    file_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    file_.flush();
}

void SmiMockStrategy::execute() {
    file_.clear();
    file_.seekg(0, std::ios::beg);
}

void SmiMockStrategy::getResultBuffer(std::uint8_t* bytes, std::size_t size) {
    // A short file leaves the stream failed; clear it so the next piece is read.
    file_.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(size));
    file_.clear();
}

int SmiMockStrategy::finish() { return 0; }

}  // namespace smi
