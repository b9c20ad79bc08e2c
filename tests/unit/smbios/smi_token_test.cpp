// Calling-interface tokens (0xDA) against a scripted firmware: reads, writes,
// the retry with the password's key, details and the printed form; and the
// platform's SMI path, which is not available.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"
#include "smbios/smi_token.h"
#include "smbios/token_table.h"
#include "tests/unit/smbios/token_fixtures.h"

namespace {

using smbios_test::Bytes;
using smbios_test::join;
using smi_test::FirmwareCall;

// A firmware keeping token values by location. Writes (class 1) are refused
// with "error" unless argument 2 holds the key, when `protectedWrites` is
// set; the key comes from class 10's password check.
struct TokenFirmware {
    std::map<std::uint32_t, std::uint16_t>* values;
    bool protectedWrites = false;
    std::string password = "letmein";
    std::uint32_t key = 0x600D;

    void operator()(FirmwareCall& call) const {
        call.results = {0, 0, 0, 0};
        if (call.cls == 0 && call.select == 0) {
            const std::uint16_t value = (*values)[call.args[0]];
            call.results[1] = 0xABCD0000u | value;
            call.results[2] = value;
        } else if (call.cls == 1 && call.select == 0) {
            if (protectedWrites && call.args[2] != key) {
                call.results[0] = 0xFFFFFFFF;
                return;
            }
            (*values)[call.args[0]] = static_cast<std::uint16_t>(call.args[1]);
        } else if (call.cls == 10 && call.select == 0) {
            call.results[0] = 0;
        } else if (call.cls == 10 && call.select == 1) {
            const bool match = call.args[0] == 0x6D74656Cu && call.args[1] == 0x006E6965u;  // "letmein"
            call.results[0] = match ? 0 : 2;
            call.results[1] = key;
        } else {
            call.results[0] = 0xFFFFFFFE;
        }
    }
};

class SmiTokens : public ::testing::Test {
protected:
    SmiTokens()
        : bytes(join({smbios_test::systemInformation(1, {"Maker"}),
                      smi_test::callingInterfaceStructure(
                          0xDA00, 0x00B2, 0x8D,
                          {{0x0010, 0x0031, 0x0001}, {0x0011, 0x0031, 0x0000}, {0x0041, 0x0142, 0x0002}}),
                      smbios_test::endOfTable()})),
          given(bytes) {
        table = std::make_unique<smbios::TokenTable>(*smbios::SmbiosFactory::getFactory()->getSingleton());
    }

    Bytes bytes;
    smi_test::GivenSmbiosTable given;
    std::map<std::uint32_t, std::uint16_t> values;
    std::unique_ptr<smbios::TokenTable> table;
};

TEST_F(SmiTokens, BitsAreActiveWhenTheFirmwareReportsTheEntrysValue) {
    smi_test::ScriptedSmi firmware(TokenFirmware{&values});
    values[0x31] = 0x0001;
    EXPECT_TRUE((*table)[0x0010]->isActive());
    EXPECT_FALSE((*table)[0x0011]->isActive());
    (*table)[0x0011]->activate();
    EXPECT_EQ(values[0x31], 0x0000);
    EXPECT_TRUE((*table)[0x0011]->isActive());
    const FirmwareCall& write = firmware.calls()[2];
    EXPECT_EQ(write.cls, 1);
    EXPECT_EQ(write.select, 0);
    EXPECT_EQ(write.args[0], 0x31u);
    EXPECT_EQ(write.commandAddress, 0x00B2);
    EXPECT_EQ(write.commandCode, 0x8D);
}

TEST_F(SmiTokens, StringsAreTheSixteenBitValue) {
    smi_test::ScriptedSmi firmware(TokenFirmware{&values});
    const smbios::IToken& token = *(*table)[0x0041];
    EXPECT_TRUE(token.isString());
    EXPECT_TRUE(token.isBool());
    EXPECT_EQ(token.getStringLength(), 2u);
    values[0x142] = 0x4241;  // "AB"
    std::uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(token.getString(buffer, sizeof buffer), "AB");
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{'A', 'B', 0, 0}));
    values[0x142] = 0x0043;
    std::uint8_t small[1] = {9};
    EXPECT_EQ(token.getString(small, 1), "C") << "a one-byte buffer is left alone";
    EXPECT_EQ(small[0], 9);

    token.setString(reinterpret_cast<const std::uint8_t*>("xyz"), 3);
    EXPECT_EQ(values[0x142], 0x7978);
    token.setString(reinterpret_cast<const std::uint8_t*>("q"), 1);
    EXPECT_EQ(values[0x142], 0x0071) << "a missing high byte is zero, not read past the input";
}

TEST_F(SmiTokens, ProtectedWritesAreRetriedOnceWithThePasswordsKey) {
    TokenFirmware bios{&values};
    bios.protectedWrites = true;
    smi_test::ScriptedSmi firmware(bios);
    smbios::IToken& token = *(*table)[0x0010];
    auto& protectedToken = dynamic_cast<smbios::IProtectedToken&>(token);
    EXPECT_EQ(protectedToken.getPasswordProperty(), -1);

    EXPECT_TRUE(protectedToken.tryPassword("wrong"));
    EXPECT_THROW(token.activate(), smi::PasswordVerificationFailed);
    EXPECT_EQ(values.count(0x31), 0u);

    EXPECT_TRUE(protectedToken.tryPassword("letmein"));
    const std::size_t before = firmware.calls().size();
    token.activate();
    EXPECT_EQ(values[0x31], 0x0001);
    // Refused write, password probe, password check, accepted write.
    ASSERT_EQ(firmware.calls().size() - before, 4u);
    EXPECT_EQ(firmware.calls().back().args[2], 0x600Du);
}

TEST_F(SmiTokens, ASecondRefusalPropagates) {
    TokenFirmware bios{&values};
    bios.protectedWrites = true;
    bios.key = 0;  // never matches what the check hands out... except 0
    smi_test::ScriptedSmi firmware([&](FirmwareCall& call) {
        bios(call);
        if (call.cls == 1) call.results[0] = 0xFFFFFFFF;
    });
    dynamic_cast<smbios::IProtectedToken&>(*(*table)[0x0010]).tryPassword("letmein");
    EXPECT_THROW((*table)[0x0010]->activate(), smi::SmiExecutedWithError);
    int writes = 0;
    for (const FirmwareCall& call : firmware.calls()) writes += call.cls == 1;
    EXPECT_EQ(writes, 2);
}

TEST_F(SmiTokens, DetailsAndPrintedForm) {
    const smbios::IToken& token = *(*table)[0x0041];
    const auto& smiToken = dynamic_cast<const smbios::ISmiToken&>(token);
    std::uint16_t address = 0;
    std::uint8_t code = 0, location = 0;
    smiToken.getSmiDetails(&address, &code, &location);
    EXPECT_EQ(address, 0x00B2);
    EXPECT_EQ(code, 0x8D);
    EXPECT_EQ(location, 0x42) << "the low byte of the entry's location";
    smiToken.getSmiDetails(nullptr, nullptr, nullptr);
    EXPECT_EQ(token.getTokenClass(), "TokenDA");
    EXPECT_EQ(&token.getItemRef() == &token.getItemRef(), true);
    EXPECT_EQ(token.getItemRef().handle(), 0xDA00);

    std::ostringstream printed;
    printed << std::setfill('0') << token;
    EXPECT_EQ(printed.str(),
              "DMI type 0xda  Handle 0xda00  CmdIO Port 0x00b2  CmdIO Code 0x8d  Type 0x0041  Location 0x0142 "
              "value0002");
}

// Without a test firmware the platform's strategy is used, which cannot raise an SMI.
TEST_F(SmiTokens, ThePlatformPathReportsThatSmiIsNotAvailable) {
    smi::SmiFactory::getFactory()->reset();
    try {
        (*table)[0x0010]->isActive();
        FAIL() << "an SMI was raised";
    } catch (const smbios::NotImplemented& error) {
#ifdef _WIN32
        EXPECT_STREQ(error.what(), "SMI calls are not yet implemented on Windows.");
#else
        EXPECT_STREQ(error.what(), "SMI calls are not yet implemented on Linux.");
#endif
    }
    EXPECT_THROW((*table)[0x0010]->activate(), smbios::NotImplemented);
    EXPECT_THROW((*table)[0x0041]->getString(), smbios::NotImplemented);
}

}  // namespace
