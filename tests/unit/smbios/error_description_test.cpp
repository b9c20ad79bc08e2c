#include "smbios/error_description.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"

namespace {

// What describe() makes of whatever `raise` throws.
template <class Raise>
std::string described(Raise raise) {
    try {
        raise();
    } catch (const std::exception& error) {
        return smbios::describe(error);
    }
    return "<no error>";
}

TEST(ErrorDescription, NestedCausesEachWithTheCodesItCarries) {
    // As the table nests the last strategy's error: its text also as "cause".
    const std::string text = described([] {
        try {
            try {
                memory::AccessErrorImpl access("Could not use Debug Sysctl to read physical memory.");
                access.setParameter("ntstatus", static_cast<int>(0xC0000002u));
                throw access;
            } catch (const std::exception& inner) {
                smbios::ParseExceptionImpl parse("GetWMISMBIOSTable: %(what)s");
                parse.setParameter("what", std::string("no data"));
                parse.setParameter("hresult", static_cast<int>(0x80041002u));
                parse.setParameter("last_error", 5);
                std::throw_with_nested(parse);
            }
        } catch (const std::exception& middle) {
            smbios::InternalErrorImpl table("Could not instantiate SMBIOS table.");
            table.setParameter("cause", std::string(middle.what()));
            std::throw_with_nested(table);
        }
    });
    EXPECT_EQ(text,
              "Could not instantiate SMBIOS table.\n"
              "  cause: GetWMISMBIOSTable: no data (last_error 5, hresult 0x80041002)\n"
              "  cause: Could not use Debug Sysctl to read physical memory. (ntstatus 0xC0000002)");
}

TEST(ErrorDescription, WithoutNestingTheCauseParameterAndFallbacksSpeak) {
    struct Case {
        const char* name;
        std::string (*run)();
        const char* expected;
    };
    const Case cases[] = {
        {"cause as a parameter only",
         [] {
             return described([] {
                 smbios::InternalErrorImpl error("Could not instantiate SMBIOS table.");
                 error.setParameter("cause", std::string("SMBIOS Header not found in search."));
                 throw error;
             });
         },
         "Could not instantiate SMBIOS table.\n  cause: SMBIOS Header not found in search."},
        {"a code of 0 is success, not shown",
         [] {
             return described([] {
                 memory::AccessErrorImpl error("Error mapping physical memory.");
                 error.setParameter("ntstatus", 0);
                 throw error;
             });
         },
         "Error mapping physical memory."},
        {"an empty message named by its kind, with its code",
         [] {
             return described([] {
                 smbios::NotImplementedImpl error("");
                 error.setParameter("ntstatus", static_cast<int>(0xC0000022u));
                 throw error;
             });
         },
         "Not available on this machine. (ntstatus 0xC0000022)"},
        {"an error without a message", [] { return described([] { throw smbios::InternalErrorImpl(""); }); },
         "Failed without a message."},
        {"a standard error", [] { return described([] { throw std::runtime_error("disk full"); }); }, "disk full"},
        {"a nested cause that is not a std::exception",
         [] {
             return described([] {
                 try {
                     throw 42;
                 } catch (...) {
                     std::throw_with_nested(std::runtime_error("outer"));
                 }
             });
         },
         "outer\n  cause: an error that is not a std::exception"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.run(), c.expected) << c.name;
}

}  // namespace
