// Fuzz target: the firmware's answers to calling-interface requests, as the
// password queries and plain calls read them. The table holds one 0xDA
// structure with the command port.
//
// Input: byte 0 chooses the request (low two bits) and how it is answered
// (bit 2 set: through an SMI file, as the test mode's strategy reads it back;
// clear: by a scripted firmware); bytes 1 to 4 are its class and select, or
// the buffer size, argument and offset of a call with a data buffer. The rest
// is the answer: for an SMI file, the file's whole content once the request
// was written (header, calling-interface buffer, data); for the scripted
// firmware, 16 bytes of results and one data fill byte per call, in turn.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "factory/tfactory.h"
#include "fuzz/fuzz_files.h"
#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"
#include "smi/calling_interface_calls.h"
#include "smi/calling_interface_smi.h"
#include "smi/smi_factory.h"
#include "tests/unit/smi/smi_fixtures.h"

namespace {

const std::uint8_t* answers = nullptr;
std::size_t answerBytes = 0;
std::size_t callNumber = 0;
bool throughFile = false;

const std::string& smiFile() {
    static const std::string path = fuzz::scratchFile("smi");
    return path;
}

// The scripted firmware: each call's results, and its data buffer filled.
class AnsweringStrategy : public smi::SmiStrategy {
public:
    void lock() override { image_.clear(); }
    void setSize(std::size_t) override {}
    std::uint32_t getPhysicalBufferBaseAddress() override { return 0x00100000; }
    void addInputBuffer(const std::uint8_t* bytes, std::size_t size) override {
        image_.insert(image_.end(), bytes, bytes + size);
    }
    void execute() override {
        readAt_ = 0;
        const std::size_t count = answerBytes / 17;
        if (count == 0 || image_.size() < 52) return;
        const std::uint8_t* answer = answers + (callNumber++ % count) * 17;
        std::memcpy(image_.data() + 36, answer, 16);
        std::memset(image_.data() + 52, answer[16], image_.size() - 52);
    }
    void getResultBuffer(std::uint8_t* bytes, std::size_t size) override {
        // Bytes past the image are left as they were.
        const std::size_t available = readAt_ < image_.size() ? image_.size() - readAt_ : 0;
        const std::size_t copied = size < available ? size : available;
        if (copied > 0) std::memcpy(bytes, image_.data() + readAt_, copied);
        readAt_ += size;
    }
    int finish() override { return 0; }

private:
    smbios_test::Bytes image_;
    std::size_t readAt_ = 0;
};

// The test mode's file strategy, with the file replaced by the answer once
// the request is written: what a firmware stand-in would leave there.
class AnswerFileStrategy : public smi::SmiMockStrategy {
public:
    AnswerFileStrategy() : smi::SmiMockStrategy(smiFile()) {}
    void execute() override {
        std::FILE* file = std::fopen(smiFile().c_str(), "wb");
        if (file == nullptr) std::abort();
        if (answerBytes > 0) std::fwrite(answers, 1, answerBytes, file);
        std::fclose(file);
        smi::SmiMockStrategy::execute();
    }
};

class AnsweringSmiFactory : public factory::TFactory<smi::SmiFactory> {
public:
    smi::ISmi* makeNew(int) override {
        std::unique_ptr<smi::SmiStrategy> strategy;
        if (throughFile) {
            strategy = std::make_unique<AnswerFileStrategy>();
        } else {
            strategy = std::make_unique<AnsweringStrategy>();
        }
        return new smi::QuorCallingInterfaceSmiImpl(std::move(strategy));
    }
};

void install() {
    static const bool installed = [] {
        smbios::SmbiosFactory::getFactory()->reset();
        smi_test::GivenSmbiosFactory::bytes = smbios_test::join(
            {smi_test::callingInterfaceStructure(0xDA00, 0x00B2, 0x8D, {{0x0010, 0x0031, 0x0001}}),
             smbios_test::endOfTable()});
        factory::TFactory<smbios::SmbiosFactory>::instance<smi_test::GivenSmbiosFactory>();
        smi::SmiFactory::getFactory()->reset();
        factory::TFactory<smi::SmiFactory>::instance<AnsweringSmiFactory>();
        return true;
    }();
    (void)installed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    install();
    throughFile = (data[0] & 4) != 0;
    answers = data + 5;
    answerBytes = size - 5;
    callNumber = 0;
    try {
        switch (data[0] & 3) {
        case 0: {
            std::uint8_t lengths[3] = {};
            smi::getPasswordProperties((data[1] & 1) != 0 ? 10 : 9, &lengths[0], &lengths[1], &lengths[2]);
            break;
        }
        case 1:
            smi::getAuthenticationKey(std::string(reinterpret_cast<const char*>(data + 1), 4));
            break;
        case 2: {
            const std::uint32_t args[4] = {data[3], data[4], 0, 0};
            std::uint32_t results[4] = {};
            smi::doSimpleCallingInterfaceSmi(layout::read16(data, size, 1), data[3], args, results);
            break;
        }
        default: {
            const std::uint32_t noArgs[4] = {};
            auto call = smi::setupCallingInterfaceSmi(data[1], 0, noArgs);
            call->setBufferSize(data[2]);
            call->setArgAsPhysicalAddress(static_cast<std::uint8_t>(data[3] % 5), data[4]);
            call->execute();
            for (std::uint8_t i = 0; i < 5; ++i) (void)call->getRes(i);
            break;
        }
        }
    } catch (const smbios::IException&) {
        // Every refusal and firmware failure is one of the library's own.
    }
    return 0;
}
