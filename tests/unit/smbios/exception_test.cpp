#include <climits>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "smbios/cmos_exceptions.h"
#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/smi_exceptions.h"

namespace {

struct ExpansionCase {
    const char* label;
    std::string messageTemplate;
    std::map<std::string, std::string> strings;
    std::map<std::string, int> nums;
    std::string expected;
};

const std::string kName28(28, 'n');
const std::string kName29(29, 'n');

std::vector<ExpansionCase> expansionCases() {
    return {
        {"no placeholder", "plain text", {}, {}, "plain text"},
        {"empty template", "", {}, {}, ""},
        {"two string placeholders",
         "Unable to open memory. File: %(file)s, OS Error: %(err)s",
         {{"file", "a.img"}, {"err", "No such file"}},
         {},
         "Unable to open memory. File: a.img, OS Error: No such file"},
        {"integer placeholder",
         "Entry Point Length field is at least 0x1f : %(eps_length)i",
         {},
         {{"eps_length", 16}},
         "Entry Point Length field is at least 0x1f : 16"},
        {"doubled percent", "100%% sure", {}, {}, "100% sure"},
        {"four percents", "%%%%", {}, {}, "%%"},
        {"doubled percent before a placeholder", "%%(file)s", {{"file", "x"}}, {}, "%(file)s"},
        {"unknown type letter", "%(file)x", {{"file", "x"}}, {}, "%(file)x"},
        {"other character after percent", "%d %s 5%", {}, {}, "%d %s 5%"},
        {"trailing percent", "%(n)i then %", {}, {{"n", 5}}, "5 then %"},
        {"closing parenthesis last", "%(n)i then %(n)", {}, {{"n", 5}}, "5 then %(n)"},
        {"no closing parenthesis", "%(abc", {}, {}, "%(abc"},
        {"parenthesis of the next placeholder", "%(abc %(n)i", {}, {{"n", 5}}, "%(abc 5"},
        {"32 characters expand", "<%(" + kName28 + ")s>", {{kName28, "v"}}, {}, "<v>"},
        {"33 characters stay", "<%(" + kName29 + ")s>", {{kName29, "v"}}, {}, "<%(" + kName29 + ")s>"},
        {"-1 as unsigned", "%(n)i", {}, {{"n", -1}}, "4294967295"},
        {"zero", "%(n)i", {}, {{"n", 0}}, "0"},
        {"most negative", "%(n)i", {}, {{"n", INT_MIN}}, "2147483648"},
        {"value with a placeholder", "File: %(file)s", {{"file", "<%(err)s>"}, {"err", "E"}}, {}, "File: <E>"},
        {"value with doubled percent", "%(s)s", {{"s", "50%%"}}, {}, "50%"},
        {"value ending in a percent", "%(s)s!", {{"s", "5%"}}, {}, "5%!"},
        {"kinds are separate", "%(n)s/%(n)i", {{"n", "text"}}, {{"n", 7}}, "text/7"},
        // Unset names stay visible in the text instead of vanishing.
        {"unset string", "[%(missing)s]", {}, {{"missing", 1}}, "[%(missing)s]"},
        {"unset integer", "[%(missing)i]", {{"missing", "x"}}, {}, "[%(missing)i]"},
        {"empty value", "[%(s)s]", {{"s", ""}}, {}, "[]"},
        {"self reference is bounded",
         "%(x)s",
         {{"x", "a%(x)s"}},
         {},
         std::string(smbios::kMaxPlaceholderReplacements, 'a') + "%(x)s"},
    };
}

TEST(MessageExpansion, ExpandsTemplates) {
    for (const ExpansionCase& c : expansionCases()) {
        memory::AccessErrorImpl error(c.messageTemplate);
        for (const auto& entry : c.strings) error.setParameter(entry.first, entry.second);
        for (const auto& entry : c.nums) error.setParameter(entry.first, entry.second);
        EXPECT_EQ(c.expected, error.what()) << c.label;
        EXPECT_EQ(c.expected, error.what()) << c.label << " (second call)";
    }
}

TEST(MessageExpansion, DoublingValuesStayBounded) {
    const std::string out = smbios::expandMessage("%(x)s", {{"x", "%(x)s%(x)s"}}, {});
    EXPECT_LE(out.size(), (smbios::kMaxPlaceholderReplacements + 1) * 10);
}

TEST(Exception, CopyKeepsTemplateAndParameters) {
    smbios::InternalErrorImpl original("%(a)s=%(b)i");
    original.setParameter("a", std::string("x"));
    original.setParameter("b", 3);
    const smbios::InternalErrorImpl copy(original);
    EXPECT_STREQ("x=3", copy.what());
    EXPECT_EQ("x", copy.getParameterString("a"));
    EXPECT_EQ(3, copy.getParameterNum("b"));
    EXPECT_EQ(0, copy.getParameterNum("a"));
    original.setMessageString("changed");
    EXPECT_STREQ("changed", original.what());
    EXPECT_STREQ("x=3", copy.what());
}

// Handlers for the family, for IException and for std::exception catch a
// thrown Impl; a handler for a neighbouring family does not.
template <class Thrown, class Handler>
bool caughtAs() {
    try {
        try {
            throw Thrown("m");
        } catch (const Handler&) {
            return true;
        }
    } catch (const std::exception&) {
        return false;
    }
}

TEST(Exception, HandlersMatchTheHierarchy) {
    EXPECT_TRUE((caughtAs<memory::AccessErrorImpl, memory::MemoryException>()));
    EXPECT_TRUE((caughtAs<memory::OutOfBoundsImpl, smbios::IException>()));
    EXPECT_TRUE((caughtAs<smbios::NotImplementedImpl, std::exception>()));
    EXPECT_TRUE((caughtAs<smbios::ParseExceptionImpl, smbios::SmbiosException>()));
    EXPECT_TRUE((caughtAs<smbios::InvalidChecksumImpl, smbios::TokenException>()));
    EXPECT_TRUE((caughtAs<cmos::InvalidCmosRWModeImpl, cmos::CmosException>()));
    EXPECT_TRUE((caughtAs<smi::UnsupportedSmiImpl, smi::SmiException>()));
    EXPECT_FALSE((caughtAs<smbios::InternalErrorImpl, smbios::SmbiosException>()));
    EXPECT_FALSE((caughtAs<smi::ParameterErrorImpl, smbios::ParameterError>()));
    EXPECT_FALSE((caughtAs<smbios::ParameterErrorImpl, smi::ParameterError>()));
    EXPECT_FALSE((caughtAs<memory::AccessErrorImpl, memory::OutOfBounds>()));
}

// Each error type under its family, as handlers rely on.
template <class Family, class... Types>
constexpr bool allBelow() {
    return (std::is_base_of_v<Family, Types> && ...);
}
static_assert(allBelow<smbios::SmbiosException, smbios::DataOutOfBounds, smbios::ParameterException,
                       smbios::ParseException, smbios::StringUnavailable>());
static_assert(
    allBelow<smbios::TokenException, smbios::DerefNullPointer, smbios::InvalidAccessMode, smbios::InvalidChecksum,
             smbios::InvalidTokenTableMode, smbios::NeedAuthentication, smbios::ParameterError>());
static_assert(allBelow<memory::MemoryException, memory::AccessError, memory::OutOfBounds>());
static_assert(allBelow<smi::SmiException, smi::InvalidSmiMode, smi::ParameterError, smi::PasswordVerificationFailed,
                       smi::SmiExecutedWithError, smi::UnhandledSmi, smi::UnsupportedSmi>());
static_assert(allBelow<smbios::IException, smbios::InternalError, smbios::NotImplemented, smbios::SmbiosException,
                       smbios::TokenException, memory::MemoryException, cmos::CmosException, smi::SmiException,
                       smbios::Exception<smbios::IException>>());
static_assert(!std::is_base_of_v<smbios::SmbiosException, smbios::InternalError>);

}  // namespace
