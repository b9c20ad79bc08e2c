#include "smi/calling_interface_calls.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "layout/calling_interface_structure.h"
#include "layout/little_endian.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smbios_factory.h"
#include "smbios/smi_exceptions.h"
#include "smi/smi_factory.h"

namespace smi {

namespace {

namespace structure = layout::calling_interface_structure;

constexpr std::uint16_t kPasswordClasses[] = {10, 9};
constexpr std::uint16_t kSelectPasswordProbe = 0;
constexpr std::uint16_t kSelectVerifyPassword = 1;
constexpr std::uint16_t kSelectPasswordProperties = 3;
constexpr std::uint16_t kSelectVerifyPasswordBuffer = 4;

constexpr const char* kPasswordMismatch = "BIOS setup password enabled, but given password does not match.";

const std::uint32_t kNoArgs[4] = {0, 0, 0, 0};

struct CommandPort {
    std::uint16_t address;
    std::uint8_t code;
};

CommandPort commandPortOf(const smbios::ISmbiosItem& item) {
    // The formatted area decides, not the copy with its strings: fields read
    // from a string set would be text, not a port.
    // The calling interface needs nothing more of it, even when no token entry fits.
    if (item.length() < structure::kCommandHeaderLength) {
        throw smbios::InternalErrorImpl(
            "Internal error. Possible BIOS problem: length of 0xDA structure is too short.");
    }
    std::uint8_t bytes[structure::kCommandHeaderLength] = {};
    item.readData(0, bytes, sizeof bytes);
    return {layout::read16(bytes, structure::kCommandAddress), bytes[structure::kCommandCode]};
}

// A select-0 probe answers whether class `cls` verifies passwords through its
// arguments. A firmware that does not know the class may answer with one of
// its failure codes, which the SMI object throws: that too means no.
bool classTakesPasswordInArguments(std::uint16_t cls) {
    std::uint32_t results[4] = {};
    try {
        doSimpleCallingInterfaceSmi(cls, kSelectPasswordProbe, kNoArgs, results);
    } catch (const UnhandledSmi&) {
        return false;
    } catch (const UnsupportedSmi&) {
        return false;
    } catch (const SmiExecutedWithError&) {
        return false;
    }
    return results[0] == 0;
}

std::uint32_t keyFromArguments(const std::string& password) {
    for (const std::uint16_t cls : kPasswordClasses) {
        if (!classTakesPasswordInArguments(cls)) continue;
        // Up to 8 characters, low byte of argument 0 first.
        std::uint8_t characters[8] = {};
        std::copy_n(password.begin(), std::min<std::size_t>(password.size(), sizeof characters), characters);
        const std::uint32_t args[4] = {layout::read32(characters, 0), layout::read32(characters, 4), 0, 0};
        std::uint32_t results[4] = {};
        doSimpleCallingInterfaceSmi(cls, kSelectVerifyPassword, args, results);
        if (results[0] != 0) throw PasswordVerificationFailedImpl(kPasswordMismatch);
        return results[1];
    }
    return 0;
}

std::uint32_t keyFromBuffer(const std::string& password) {
    std::uint16_t cls = 0;
    std::uint8_t maxLength = 0;
    for (const std::uint16_t candidate : kPasswordClasses) {
        try {
            if (getPasswordProperties(candidate, &maxLength, nullptr, nullptr)) {
                cls = candidate;
                break;
            }
        } catch (const std::exception&) {
            // A class the firmware cannot describe is not the one to use.
        }
    }
    if (cls == 0) return 0;

    std::unique_ptr<IQuorCallingInterfaceSmi> call = setupCallingInterfaceSmi(cls, kSelectVerifyPasswordBuffer,
                                                                              kNoArgs);
    call->setBufferSize(maxLength);
    if (maxLength > 0) {
        std::memcpy(call->getBufferPtr(), password.data(), std::min<std::size_t>(password.size(), maxLength));
    }
    call->setArgAsPhysicalAddress(0, 0);
    call->execute();
    if (call->getRes(0) != 0) throw PasswordVerificationFailedImpl(kPasswordMismatch);
    return call->getRes(1);
}

}  // namespace

std::unique_ptr<IQuorCallingInterfaceSmi> setupCallingInterfaceSmi(std::uint16_t cls, std::uint16_t select,
                                                                   const std::uint32_t args[4]) {
    smbios::ISmbiosTable* table = smbios::SmbiosFactory::getFactory()->getSingleton();
    std::unique_ptr<ISmi> made(SmiFactory::getFactory()->makeNew(CallingInterfaceSmi));
    auto* callingInterface = dynamic_cast<IQuorCallingInterfaceSmi*>(made.get());
    if (callingInterface == nullptr) {
        throw smbios::InternalErrorImpl("Internal error. The SMI factory made no calling-interface object.");
    }
    made.release();
    std::unique_ptr<IQuorCallingInterfaceSmi> call(callingInterface);

    const auto found = table->itemsOfType(structure::kType);
    if (found == table->end()) {
        throw smbios::InternalErrorImpl(
            "Internal error. It does not appear that this BIOS supports SMI (no 0xDA structure in SMBIOS).");
    }
    const CommandPort port = commandPortOf(*found);
    call->setCommandIOMagic(port.address, port.code);
    call->setClass(cls);
    call->setSelect(select);
    for (std::uint8_t i = 0; i < 4; ++i) call->setArg(i, args[i]);
    return call;
}

void doSimpleCallingInterfaceSmi(std::uint16_t cls, std::uint16_t select, const std::uint32_t args[4],
                                 std::uint32_t results[4]) {
    std::unique_ptr<IQuorCallingInterfaceSmi> call = setupCallingInterfaceSmi(cls, select, args);
    call->execute();
    for (std::uint8_t i = 0; i < 4; ++i) results[i] = call->getRes(i);
}

bool getPasswordProperties(std::uint16_t cls, std::uint8_t* maxLength, std::uint8_t* minLength,
                           std::uint8_t* characteristics) {
    if (cls != 9 && cls != 10) throw ParameterErrorImpl("Internal programming error. Argument must be either 9 or 10.");
    std::uint32_t results[4] = {};
    doSimpleCallingInterfaceSmi(cls, kSelectPasswordProperties, kNoArgs, results);
    if ((results[1] & 0xFF) != 0) return false;
    if (maxLength != nullptr) *maxLength = layout::byteOf(results[1], 1);
    if (minLength != nullptr) *minLength = layout::byteOf(results[1], 2);
    if (characteristics != nullptr) *characteristics = layout::byteOf(results[1], 3);
    return true;
}

std::uint32_t getAuthenticationKey(const std::string& password) {
    const std::uint32_t key = keyFromArguments(password);
    if (key != 0) return key;
    return keyFromBuffer(password);
}

}  // namespace smi
