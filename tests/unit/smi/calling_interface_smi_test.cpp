// The calling-interface object: the image it hands its strategy, the
// physical-address arguments, index checks, the firmware's status codes, and
// the factory's strategies (the file-backed mock and the platform's, which
// cannot raise an SMI).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"
#include "layout/little_endian.h"
#include "smi/calling_interface_smi.h"
#include "smi/smi_factory.h"
#include "tests/unit/smi/smi_fixtures.h"
#include "tests/unit/support/error_text.h"

namespace {

using smi_test::Bytes;
using smi_test::FirmwareCall;

// SmiFactory in UnitTestMode over a temporary file, removed afterwards.
class MockSmiFile : public ::testing::Test {
protected:
    void SetUp() override {
        smi::SmiFactory::getFactory()->reset();
        path_ = smbios_test::uniqueTempPath("smi") += ".bin";
        smi::SmiFactory::getFactory()->setMode(factory::UnitTestMode);
        smi::SmiFactory::getFactory()->setParameter("smiFile", path_.string());
    }
    void TearDown() override {
        smi::SmiFactory::getFactory()->reset();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    std::unique_ptr<smi::IQuorCallingInterfaceSmi> makeCall() {
        std::unique_ptr<smi::ISmi> made(smi::SmiFactory::getFactory()->makeNew(smi::CallingInterfaceSmi));
        auto* call = dynamic_cast<smi::IQuorCallingInterfaceSmi*>(made.get());
        EXPECT_NE(call, nullptr);
        made.release();
        return std::unique_ptr<smi::IQuorCallingInterfaceSmi>(call);
    }

    Bytes fileBytes() const {
        std::ifstream file(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::filesystem::path path_;
};

TEST_F(MockSmiFile, FreshCallIsUnhandledAndTheFileHoldsTheWholeImage) {
    auto call = makeCall();
    call->setCommandIOMagic(0xB2, 0x7C);
    call->setClass(0x1234);
    call->setSelect(0x0005);
    call->setArg(0, 0x11223344);
    call->setArg(3, 0xCAFEF00D);
    call->setBufferSize(4);
    std::memcpy(call->getBufferPtr(), "WXYZ", 4);
    call->setArgAsPhysicalAddress(1, 8);

    EXPECT_EQ(test_support::errorTextOf<smi::UnhandledSmi>([&] { call->execute(); }), "Unhandled SMI call.");
    call.reset();  // closes the file

    const Bytes image = fileBytes();
    ASSERT_EQ(image.size(), 16u + 36u + 4u);
    // Command header: both signatures, the port and code, and a zero padding byte.
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 16),
              (Bytes{0x31, 0x49, 0x4D, 0x53, 0, 0, 0, 0, 0x31, 0x49, 0x53, 0x42, 0xB2, 0x00, 0x7C, 0x00}));
    // The calling-interface buffer from offset 16: class, select, four arguments, four results.
    const auto at16 = [&image](std::size_t offset) { return layout::read16(image, 16 + offset); };
    const auto at32 = [&image](std::size_t offset) { return layout::read32(image, 16 + offset); };
    EXPECT_EQ(at16(0), 0x1234);
    EXPECT_EQ(at16(2), 0x0005);
    EXPECT_EQ(at32(4), 0x11223344u);
    EXPECT_EQ(at32(8), 0xDEADBF2Bu);  // 0xDEADBEEF + 52 + 8
    EXPECT_EQ(at32(12), 0u);
    EXPECT_EQ(at32(16), 0xCAFEF00Du);
    EXPECT_EQ(at32(20), 0xFFFFFFFDu);
    EXPECT_EQ(at32(24), 0u);
    EXPECT_EQ(std::string(image.begin() + 52, image.end()), "WXYZ");
}

TEST_F(MockSmiFile, IndexThreeIsTheLastArgumentAndResult) {
    auto call = makeCall();
    call->setArg(3, 1);
    EXPECT_EQ(call->getRes(3), 0u);
    EXPECT_EQ(call->getRes(0), 0xFFFFFFFDu);
    struct Case {
        const char* what;
        std::function<void()> action;
        const char* message;
    };
    const char* const argMessage = "Internal programming error. Argument must be in range 0..3";
    const Case cases[] = {
        {"setArg(4)", [&] { call->setArg(4, 1); }, argMessage},
        {"setArg(255)", [&] { call->setArg(255, 1); }, argMessage},
        {"setArgAsPhysicalAddress(4)", [&] { call->setArgAsPhysicalAddress(4, 0); }, argMessage},
        {"getRes(4)", [&] { call->getRes(4); }, "Internal programming error. Result request must be in range 0..3"},
    };
    for (const Case& c : cases) {
        try {
            c.action();
            ADD_FAILURE() << c.what << " did not throw";
        } catch (const smi::ParameterError& error) {
            EXPECT_STREQ(error.what(), c.message) << c.what;
        }
    }
}

TEST_F(MockSmiFile, ResizingTheBufferZeroesItButTheSameSizeKeepsIt) {
    auto call = makeCall();
    EXPECT_EQ(call->getBufferPtr(), nullptr);
    call->setBufferSize(3);
    std::memcpy(call->getBufferPtr(), "abc", 3);
    call->setBufferSize(3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(call->getBufferPtr()), 3), "abc");
    call->setBufferSize(5);
    EXPECT_EQ(Bytes(call->getBufferPtr(), call->getBufferPtr() + 5), Bytes(5, 0));
    call->setBufferSize(0);
    EXPECT_EQ(call->getBufferPtr(), nullptr);
}

TEST_F(MockSmiFile, UnknownModeOrTypeIsRefused) {
    EXPECT_EQ(test_support::errorTextOf<smi::InvalidSmiMode>([&] { delete smi::SmiFactory::getFactory()->makeNew(2); }),
              "Unknown smi factory mode requested");
    smi::SmiFactory::getFactory()->setMode(2);
    EXPECT_EQ(test_support::errorTextOf<smi::InvalidSmiMode>(
                  [&] { delete smi::SmiFactory::getFactory()->makeNew(smi::CallingInterfaceSmi); }),
              "Unknown smi factory mode requested");
}

TEST_F(MockSmiFile, AnUnopenableFileIsAnErrorNotACrashLater) {
    smi::SmiFactory::getFactory()->setParameter("smiFile", (path_ / "no" / "such" / "dir").string());
    EXPECT_THROW(delete smi::SmiFactory::getFactory()->makeNew(smi::CallingInterfaceSmi), smbios::InternalError);
}

TEST(SmiFactory, StartsInDefaultModeWithAnEmptyFileName) {
    smi::SmiFactory::getFactory()->reset();
    EXPECT_EQ(smi::SmiFactory::getFactory()->getMode(), factory::DefaultMode);
    EXPECT_EQ(smi::SmiFactory::getFactory()->getParameterString("smiFile"), "");
    smi::SmiFactory::getFactory()->reset();
}

// The platform strategy cannot raise an SMI; it says so at the first step of
// a call, with the platform's name.
TEST(SmiArchStrategy, EveryCallFailsAsNotAvailable) {
    smi::SmiFactory::getFactory()->reset();
    std::unique_ptr<smi::ISmi> call(smi::SmiFactory::getFactory()->makeNew(smi::CallingInterfaceSmi));
#ifdef _WIN32
    const char* const expected = "SMI calls are not yet implemented on Windows.";
#else
    const char* const expected = "SMI calls are not yet implemented on Linux.";
#endif
    EXPECT_EQ(test_support::errorTextOf<smbios::NotImplemented>([&] { call->execute(); }), expected);
    smi::SmiArchStrategy strategy;
    std::uint8_t byte = 0;
    EXPECT_THROW(strategy.lock(), smbios::NotImplemented);
    EXPECT_THROW(strategy.setSize(1), smbios::NotImplemented);
    EXPECT_THROW(strategy.getPhysicalBufferBaseAddress(), smbios::NotImplemented);
    EXPECT_THROW(strategy.addInputBuffer(&byte, 1), smbios::NotImplemented);
    EXPECT_THROW(strategy.execute(), smbios::NotImplemented);
    EXPECT_THROW(strategy.getResultBuffer(&byte, 1), smbios::NotImplemented);
    EXPECT_THROW(strategy.finish(), smbios::NotImplemented);
    smi::SmiFactory::getFactory()->reset();
}

// Result 0 as the firmware leaves it decides between success and the three errors.
TEST(CallingInterfaceStatus, ResultZeroMapsToTheFirmwareErrors) {
    struct Case {
        std::uint32_t result0;
        const char* message;  // null: success
    };
    const Case cases[] = {
        {0xFFFFFFFD, "Unhandled SMI call."},
        {0xFFFFFFFE, "Unsupported SMI call."},
        {0xFFFFFFFF, "BIOS returned error for SMI call."},
        {0, nullptr},
        {1, nullptr},
        {0xFFFFFFFC, nullptr},
    };
    for (const Case& c : cases) {
        smi_test::ScriptedSmi firmware([&](FirmwareCall& call) {
            call.results = {c.result0, 0xA1, 0xB2, 0xC3};
            if (!call.data.empty()) call.data[0] = 0x99;
        });
        smi::QuorCallingInterfaceSmiImpl call(std::make_unique<smi_test::ScriptedStrategy>());
        call.setBufferSize(2);
        call.setArgAsPhysicalAddress(2, 1);
        if (c.message == nullptr) {
            EXPECT_EQ(call.execute(), 7) << "the strategy's finish() value is passed on";
            EXPECT_EQ(call.getRes(3), 0xC3u);
            EXPECT_EQ(call.getBufferPtr()[0], 0x99) << "the data buffer is read back";
        } else {
            try {
                call.execute();
                ADD_FAILURE() << std::hex << c.result0 << " taken as success";
            } catch (const smi::SmiException& error) {
                EXPECT_STREQ(error.what(), c.message);
                const bool rightType = (c.result0 == 0xFFFFFFFD && dynamic_cast<const smi::UnhandledSmi*>(&error)) ||
                                       (c.result0 == 0xFFFFFFFE && dynamic_cast<const smi::UnsupportedSmi*>(&error)) ||
                                       (c.result0 == 0xFFFFFFFF &&
                                        dynamic_cast<const smi::SmiExecutedWithError*>(&error));
                EXPECT_TRUE(rightType) << std::hex << c.result0;
            }
        }
        ASSERT_EQ(firmware.calls().size(), 1u);
        EXPECT_EQ(firmware.calls()[0].args[2], smi_test::ScriptedFirmware::kBase + 53);
    }
}

}  // namespace
