// Calls set up from the SMBIOS table's 0xDA structure, the password
// properties, and the authentication key in its two ways, against a scripted
// firmware.
#include <gtest/gtest.h>

#include <string>

#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"
#include "smi/calling_interface_calls.h"
#include "tests/unit/smi/smi_fixtures.h"
#include "tests/unit/support/error_text.h"

namespace {

using smbios_test::Bytes;
using smbios_test::join;
using smi_test::callingInterfaceStructure;
using smi_test::FirmwareCall;

const std::uint32_t kZeroArgs[4] = {0, 0, 0, 0};

Bytes tableWithCallingInterface() {
    return join({smbios_test::systemInformation(1, {"Maker"}),
                 callingInterfaceStructure(0xDA00, 0x00B2, 0x8D, {{0x0001, 0x0010, 0x0001}}),
                 callingInterfaceStructure(0xDA01, 0x0999, 0x11, {}), smbios_test::endOfTable()});
}

void expectInternalError(const Bytes& table, const char* message) {
    smi_test::GivenSmbiosTable given(table);
    smi_test::ScriptedSmi firmware;
    EXPECT_EQ(test_support::errorTextOf<smbios::InternalError>([&] { smi::setupCallingInterfaceSmi(1, 2, kZeroArgs); }),
              message);
    EXPECT_TRUE(firmware.calls().empty());
}

TEST(SetupCallingInterfaceSmi, NeedsTheCommandPortAndCode) {
    expectInternalError(join({smbios_test::systemInformation(1, {"Maker"}), smbios_test::endOfTable()}),
                        "Internal error. It does not appear that this BIOS supports SMI (no 0xDA structure in "
                        "SMBIOS).");
    // Six formatted bytes, but strings behind them: the copy is long enough,
    // the header is not, and the code must not be read from the strings.
    expectInternalError(
        join({smbios_test::structure(0xDA, 0xDA00, {0xB2, 0x00}, {"string set"}), smbios_test::endOfTable()}),
        "Internal error. Possible BIOS problem: length of 0xDA structure is too short.");
}

// Lengths 7 to 10 hold the port and the code but no token entry; the first
// 0xDA still serves every call.
TEST(SetupCallingInterfaceSmi, AFirstStructureWithoutEntriesServes) {
    for (std::size_t extra = 0; extra <= 3; ++extra) {
        SCOPED_TRACE("length " + std::to_string(7 + extra));
        Bytes formatted{0xB2, 0x00, 0x8D};
        formatted.resize(3 + extra, 0);
        smi_test::GivenSmbiosTable given(
            join({smbios_test::structure(0xDA, 0xDA00, formatted, {"string set"}),
                  callingInterfaceStructure(0xDA01, 0x0999, 0x11, {}), smbios_test::endOfTable()}));
        smi_test::ScriptedSmi firmware([](FirmwareCall& call) { call.results = {0, 0, 0, 0}; });
        std::uint32_t results[4] = {};
        smi::doSimpleCallingInterfaceSmi(1, 2, kZeroArgs, results);
        ASSERT_EQ(firmware.calls().size(), 1u);
        EXPECT_EQ(firmware.calls()[0].commandAddress, 0x00B2);
        EXPECT_EQ(firmware.calls()[0].commandCode, 0x8D);
    }
}

TEST(DoSimpleCallingInterfaceSmi, UsesTheFirstStructuresPortAndReturnsTheResults) {
    smi_test::GivenSmbiosTable given(tableWithCallingInterface());
    smi_test::ScriptedSmi firmware([](FirmwareCall& call) { call.results = {0, call.args[0] + 1, 2, 3}; });
    const std::uint32_t args[4] = {41, 5, 6, 7};
    std::uint32_t results[4] = {};
    smi::doSimpleCallingInterfaceSmi(0x11, 0x22, args, results);
    EXPECT_EQ(results[0], 0u);
    EXPECT_EQ(results[1], 42u);
    EXPECT_EQ(results[3], 3u);
    ASSERT_EQ(firmware.calls().size(), 1u);
    const FirmwareCall& sent = firmware.calls()[0];
    EXPECT_EQ(sent.commandAddress, 0x00B2);
    EXPECT_EQ(sent.commandCode, 0x8D);
    EXPECT_EQ(sent.padding, 0);
    EXPECT_EQ(sent.cls, 0x11);
    EXPECT_EQ(sent.select, 0x22);
    EXPECT_EQ(sent.args, (std::array<std::uint32_t, 4>{41, 5, 6, 7}));
}

TEST(GetPasswordProperties, AnswersFromResultOne) {
    smi_test::GivenSmbiosTable given(tableWithCallingInterface());
    smi_test::ScriptedSmi firmware([](FirmwareCall& call) {
        call.results[0] = 0;
        call.results[1] = call.cls == 9 ? 0x0304200u : 0x00000001u;  // class 10: not installed
    });
    std::uint8_t maxLength = 0, minLength = 0, characteristics = 0;
    EXPECT_FALSE(smi::getPasswordProperties(10, &maxLength, &minLength, &characteristics));
    EXPECT_TRUE(smi::getPasswordProperties(9, &maxLength, &minLength, &characteristics));
    EXPECT_EQ(maxLength, 0x42);
    EXPECT_EQ(minLength, 0x30);
    EXPECT_EQ(characteristics, 0x00);
    EXPECT_EQ(firmware.calls().back().select, 3);
    EXPECT_EQ(test_support::errorTextOf<smi::ParameterError>(
                  [&] { smi::getPasswordProperties(8, nullptr, nullptr, nullptr); }),
              "Internal programming error. Argument must be either 9 or 10.");
}

// A firmware with a password of class `argumentClass` verified through the
// arguments (0: none such), or of class `bufferClass` verified through the
// data buffer with the given maximum length.
struct PasswordFirmware {
    std::uint16_t argumentClass = 0;
    std::uint16_t bufferClass = 0;
    std::uint8_t maxLength = 0;
    std::string password;
    std::uint32_t key = 0;
    // How the firmware answers a select-0 probe of a class it does not verify through arguments.
    std::uint32_t probeRefusal = 0xFFFFFFFE;

    void operator()(FirmwareCall& call) const {
        call.results = {0xFFFFFFFE, 0, 0, 0};
        if (call.select == 0) {
            call.results[0] = call.cls == argumentClass ? 0 : probeRefusal;
        } else if (call.select == 1 && call.cls == argumentClass) {
            std::string sent;
            for (int i = 0; i < 16; ++i) sent.push_back(static_cast<char>(call.args[i / 4] >> (8 * (i % 4))));
            sent.resize(sent.find('\0') == std::string::npos ? sent.size() : sent.find('\0'));
            call.results[0] = sent == password.substr(0, 8) ? 0 : 2;
            call.results[1] = key;
        } else if (call.select == 3) {
            call.results[0] = 0;
            call.results[1] = call.cls == bufferClass ? static_cast<std::uint32_t>(maxLength) << 8 : 1;
        } else if (call.select == 4 && call.cls == bufferClass) {
            Bytes expected(maxLength, 0);
            std::copy_n(password.begin(), std::min<std::size_t>(password.size(), maxLength), expected.begin());
            call.results[0] = call.data == expected ? 0 : 3;
            call.results[1] = key;
        }
    }
};

TEST(GetAuthenticationKey, ClassTenTakesThePasswordInItsArguments) {
    smi_test::GivenSmbiosTable given(tableWithCallingInterface());
    PasswordFirmware bios;
    bios.argumentClass = 10;
    bios.password = "abcdefgh";
    bios.key = 0x5EC12E7;
    smi_test::ScriptedSmi firmware(bios);
    EXPECT_EQ(smi::getAuthenticationKey("abcdefghij"), 0x5EC12E7u) << "only 8 characters are sent";
    ASSERT_EQ(firmware.calls().size(), 2u);
    EXPECT_EQ(firmware.calls()[1].args, (std::array<std::uint32_t, 4>{0x64636261, 0x68676665, 0, 0}));
    EXPECT_THROW(smi::getAuthenticationKey("wrong"), smi::PasswordVerificationFailed);
}

// Firmware that refuses a probe with one of its failure codes is asked about
// the next class, and in the end through the data buffer.
TEST(GetAuthenticationKey, RefusedProbesLeadToTheNextClassAndThenToTheBuffer) {
    smi_test::GivenSmbiosTable given(tableWithCallingInterface());
    for (const std::uint32_t refusal : {0xFFFFFFFDu, 0xFFFFFFFEu, 0xFFFFFFFFu, 5u}) {
        PasswordFirmware bios;
        bios.argumentClass = 9;
        bios.password = "pw";
        bios.key = 99;
        bios.probeRefusal = refusal;
        {
            smi_test::ScriptedSmi firmware(bios);
            EXPECT_EQ(smi::getAuthenticationKey("pw"), 99u) << std::hex << refusal;
            EXPECT_EQ(firmware.calls().back().cls, 9);
        }

        PasswordFirmware buffered;
        buffered.bufferClass = 9;
        buffered.maxLength = 6;
        buffered.password = "secret-and-more";
        buffered.key = 0xBEEF;
        buffered.probeRefusal = refusal;
        smi_test::ScriptedSmi firmware(buffered);
        EXPECT_EQ(smi::getAuthenticationKey("secret-and-more"), 0xBEEFu) << std::hex << refusal;
        const FirmwareCall& last = firmware.calls().back();
        EXPECT_EQ(last.cls, 9);
        EXPECT_EQ(last.select, 4);
        EXPECT_EQ(last.args[0], smi_test::ScriptedFirmware::kBase + 52) << "argument 0 points at the buffer";
        EXPECT_EQ(std::string(last.data.begin(), last.data.end()), "secret");
    }
}

TEST(GetAuthenticationKey, BufferMethodPadsShortPasswordsAndRejectsWrongOnes) {
    smi_test::GivenSmbiosTable given(tableWithCallingInterface());
    PasswordFirmware bios;
    bios.bufferClass = 10;
    bios.maxLength = 8;
    bios.password = "abc";
    bios.key = 7;
    smi_test::ScriptedSmi firmware(bios);
    EXPECT_EQ(smi::getAuthenticationKey("abc"), 7u);
    EXPECT_EQ(firmware.calls().back().data, (Bytes{'a', 'b', 'c', 0, 0, 0, 0, 0}));
    EXPECT_EQ(test_support::errorTextOf<smi::PasswordVerificationFailed>([&] { smi::getAuthenticationKey("abd"); }),
              "BIOS setup password enabled, but given password does not match.");
}

TEST(GetAuthenticationKey, NoPasswordMechanismGivesKeyZero) {
    smi_test::GivenSmbiosTable given(tableWithCallingInterface());
    smi_test::ScriptedSmi firmware(PasswordFirmware{});
    EXPECT_EQ(smi::getAuthenticationKey("anything"), 0u);
    for (const FirmwareCall& call : firmware.calls()) EXPECT_NE(call.select, 4) << "no buffer call without a class";
}

}  // namespace
