// CMOS checksum observers over image files: each checksum type on known
// data, repair and verify, and the shapes that could make repairs loop.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cmos/cmos_checksum_observer.h"
#include "cmos/cmos_rw_file.h"
#include "smbios/smbios_exceptions.h"
#include "smbios/cmos_exceptions.h"
#include "tests/unit/cmos/counting_observer.h"
#include "tests/unit/support/cmos_image.h"
#include "tests/unit/support/error_text.h"
#include "tests/unit/cmos/memory_cmos.h"

namespace {

using cmos_test::CountingObserver;
using smbios::CmosRWChecksumObserver;
using test_support::CmosImage;
using test_support::errorTextOf;

constexpr std::uint32_t kIndex = 0x72;
constexpr std::uint32_t kData = 0x73;
constexpr std::uint32_t kPage = kIndex * 256;

// An image whose page for kIndex holds `range` from offset 0x40 on, with
// the checksum stored at 0x50 (and 0x51).
class ChecksummedCmos : public ::testing::Test {
protected:
    static constexpr int kStart = 0x40;
    static constexpr int kLocation = 0x50;

    void place(const std::vector<std::uint8_t>& range, std::vector<std::uint8_t> stored = {0, 0}) {
        image.store(kPage + kStart, range);
        image.store(kPage + kLocation, stored);
    }
    std::unique_ptr<CmosRWChecksumObserver> watch(int type, int end, const std::string& description = "d4") {
        return std::make_unique<CmosRWChecksumObserver>(description, type, kIndex, kData, kStart, end, kLocation,
                                                        &cmos);
    }
    unsigned storedWord() { return image.storedAt(kPage + kLocation) << 8 | image.storedAt(kPage + kLocation + 1); }
    void verify() {
        const bool repair = false;
        cmos.notify(&repair);
    }

    CmosImage image = CmosImage::patterned();
    cmos::CmosRWFile cmos{image.name()};
};

struct KnownSum {
    const char* name;
    int type;
    std::vector<std::uint8_t> range;
    unsigned stored;  // both bytes at the location, high byte first
};

// A 1-byte checksum leaves the byte after it alone: 0x33 there stays.
const KnownSum kKnownSums[] = {
    {"byte checksum", CmosRWChecksumObserver::ByteChecksum, {0x01, 0x02, 0xFF}, 0x0233},
    {"byte checksum of one byte is that byte", CmosRWChecksumObserver::ByteChecksum, {0xC7}, 0xC733},
    {"word checksum", CmosRWChecksumObserver::WordChecksum, {0xFF, 0xFF, 0x03}, 0x0201},
    {"word CRC of 0x01", CmosRWChecksumObserver::WordCrc, {0x01}, 0x3FC1},
    {"word CRC of abc", CmosRWChecksumObserver::WordCrc, {'a', 'b', 'c'}, 0x0318},
    {"one's complement is the negated sum", CmosRWChecksumObserver::OnesComplementWordChecksum, {0x01, 0x02}, 0xFFFD},
    {"one's complement of a zero sum", CmosRWChecksumObserver::OnesComplementWordChecksum, {0x00, 0x00}, 0x0000},
};

TEST_F(ChecksummedCmos, EachTypeIsRepairedToItsValueOnKnownData) {
    for (const KnownSum& sum : kKnownSums) {
        SCOPED_TRACE(sum.name);
        place(sum.range, {0x99, 0x33});
        const auto observer = watch(sum.type, kStart + static_cast<int>(sum.range.size()) - 1);
        cmos.writeByte(kIndex, kData, kStart, sum.range[0]);
        EXPECT_EQ(sum.stored, storedWord());
        EXPECT_NO_THROW(verify());
    }
}

TEST_F(ChecksummedCmos, AStartAfterTheEndSumsNothing) {
    place({0x10, 0x20}, {0x55, 0x66});
    const auto observer = watch(CmosRWChecksumObserver::WordChecksum, kStart - 1);
    cmos.writeByte(kIndex, kData, kStart, 0x10);
    EXPECT_EQ(0x5566u, storedWord()) << "a byte outside the range and the location is not a reason to look";
    cmos.writeByte(kIndex, kData, kLocation, 0x12);
    EXPECT_EQ(0x0000u, storedWord());
}

TEST_F(ChecksummedCmos, ABlockWriteIsRepairedOnce) {
    place({0, 0, 0, 0});
    const auto observer = watch(CmosRWChecksumObserver::WordChecksum, kStart + 3);
    CountingObserver counter(&cmos);
    const std::uint8_t bytes[] = {0x80, 0x80, 0x80, 0x80};
    cmos::writeBlock(kStart, &cmos, kIndex, kData, bytes, 4);
    EXPECT_EQ(0x0200u, storedWord());
    EXPECT_EQ(2, counter.count) << "the block's notification and the repair's";
    EXPECT_FALSE(cmos.isSuppressed());
}

TEST_F(ChecksummedCmos, VerifyReportsEveryFigureAndChangesNothing) {
    place({0x01, 0x02, 0x03}, {0x12, 0x34});
    const auto observer = watch(CmosRWChecksumObserver::WordChecksum, kStart + 2, "Handle 0xd402 %(start)i");
    try {
        verify();
        ADD_FAILURE() << "a mismatch passed verification";
    } catch (const smbios::InvalidChecksumImpl& e) {
        EXPECT_EQ(
            "Handle 0xd402 %(start)i\n"
            "Checksum check for CMOS value does not match.\n"
            "SMBIOS-specified checksum type is Word Checksum. Type 0\n"
            "Checking alternate checksum algorithm results.\n"
            "Calculated (Type 0) word checksum is: 6\n"
            "Calculated (Type 1) byte checksum is: 6\n"
            "Calculated (Type 2) word crc is: 13585\n"
            "Calculated (Type 3) 1's complement word checksum is: 65530\n"
            "Actual data value is: 4660\n"
            "Calculated data value is: 6\n"
            "Start: 64\n"
            "End: 66\n"
            "Checksum Loc: 80\n"
            "Index Port: 114\n"
            "Data Port: 115\n",
            std::string(e.what()));
        EXPECT_EQ(0x1234, e.getParameterNum("actual"));
        EXPECT_EQ(6, e.getParameterNum("calc"));
        EXPECT_EQ(3, e.getParameterNum("word_chksum_n_type"));
    }
    EXPECT_EQ(0x1234u, storedWord());
}

TEST_F(ChecksummedCmos, NoDeclaredChecksumIsNeverActedOn) {
    place({0x01}, {0x77, 0x77});
    const CmosRWChecksumObserver none("d4", 0x1F, kIndex, kData, 0, 0, 0, &cmos);
    cmos.writeByte(kIndex, kData, 0, 0x01);
    EXPECT_NO_THROW(verify());
    EXPECT_EQ(0x7777u, storedWord());
}

// Declarations no write can keep valid are kept with their reason; a write
// into their range or location is refused before the file changes, a write
// elsewhere goes on.
TEST_F(ChecksummedCmos, UnmaintainableChecksumsRefuseWritesThatWouldStaleThem) {
    struct Refused {
        int type;
        int end;
        int location;
        const char* reason;
    };
    const Refused refusals[] = {
        {4, 0x42, 0x50, "its type 0x4 is not a known checksum type"},
        {0x1F, 0x42, 0x50, "its type 0x1f is not a known checksum type"},
        {CmosRWChecksumObserver::WordCrc, 0x42, 0xFF, "a 2-byte checksum at 0xff does not fit in the 256-byte bank"},
        {CmosRWChecksumObserver::ByteChecksum, 0x47, 0x44, "it is stored inside its own range"},
    };
    for (const Refused& refused : refusals) {
        SCOPED_TRACE(refused.reason);
        const CmosRWChecksumObserver observer("d4", refused.type, kIndex, kData, 0x40, refused.end, refused.location,
                                              &cmos);
        EXPECT_FALSE(observer.maintainable());
        EXPECT_EQ(refused.reason, observer.refusal());
        CountingObserver counter(&cmos);
        for (const int offset : {0x40, refused.location}) {
            const std::string error = errorTextOf<cmos::CmosWriteRefused>(
                [&] { cmos.writeByte(kIndex, kData, static_cast<std::uint32_t>(offset), 0xEE); });
            EXPECT_NE(std::string::npos, error.find(refused.reason)) << error;
            EXPECT_NE(std::string::npos, error.find("Nothing was written.")) << error;
            EXPECT_EQ(CmosImage::patternAt(kPage + static_cast<unsigned>(offset)),
                      image.storedAt(kPage + static_cast<unsigned>(offset)));
        }
        const std::uint8_t block[] = {1, 2};
        EXPECT_THROW(cmos::writeBlock(0x3F, &cmos, kIndex, kData, block, 2), cmos::CmosWriteRefused);
        EXPECT_EQ(CmosImage::patternAt(kPage + 0x3F), image.storedAt(kPage + 0x3F)) << "refused before the first byte";
        EXPECT_EQ(0, counter.count);
        cmos.writeByte(kIndex, kData, 0x30, 0x21);
        EXPECT_EQ(0x21, image.storedAt(kPage + 0x30));
        EXPECT_THROW(verify(), smbios::UnmaintainableChecksum);
    }
}

// A refusal names the checksum by its type.
TEST_F(ChecksummedCmos, RefusalsNameTheChecksumType) {
    const std::pair<int, const char*> names[] = {
        {CmosRWChecksumObserver::WordChecksum, "Word Checksum"},
        {CmosRWChecksumObserver::ByteChecksum, "Byte Checksum"},
        {CmosRWChecksumObserver::WordCrc, "Word CRC"},
        {CmosRWChecksumObserver::OnesComplementWordChecksum, "One's Complement Word Checksum"},
        {4, "checksum of unknown type 0x4"},
    };
    for (const auto& [type, name] : names) {
        const CmosRWChecksumObserver inside("d4", type, kIndex, kData, 0x40, 0x47, 0x44, &cmos);
        const std::string error = errorTextOf<cmos::CmosWriteRefused>([&] { cmos.writeByte(kIndex, kData, 0x40, 1); });
        EXPECT_NE(std::string::npos,
                  error.find(std::string("the ") + name + " over 0x40-0x47 at 0x44 (index port 0x72)"))
            << error;
    }
}

// Two checksums over 0x10.., the second stored inside its own range: the
// write into both ranges is refused whole, so the first is not repaired
// either and nothing is left half-updated.
TEST(ChecksumObservers, ASelfCoveringChecksumRefusesTheWriteForEveryObserver) {
    CmosImage image = CmosImage::patterned();
    image.store(0x7010, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    image.store(0x7010, {0x01, 0xFF});
    image.store(0x7014, {0x33});
    image.store(0x7020, {0x00});
    cmos::CmosRWFile cmos(image.name());
    const CmosRWChecksumObserver a("a", CmosRWChecksumObserver::ByteChecksum, 0x70, 0x71, 0x10, 0x11, 0x20, &cmos);
    const CmosRWChecksumObserver b("b", CmosRWChecksumObserver::ByteChecksum, 0x70, 0x71, 0x10, 0x17, 0x14, &cmos);
    EXPECT_EQ(
        "Refused to write CMOS byte 0x10 of index port 0x70: the Byte Checksum over 0x10-0x17 at 0x14 (index "
        "port 0x70), which cannot be maintained: it is stored inside its own range. Nothing was written.",
        errorTextOf<cmos::CmosWriteRefused>([&] { cmos.writeByte(0x70, 0x71, 0x10, 0x02); }));
    EXPECT_EQ(0x01, image.storedAt(0x7010));
    EXPECT_EQ(0x33, image.storedAt(0x7014));
    EXPECT_EQ(0x00, image.storedAt(0x7020));
}

TEST_F(ChecksummedCmos, CopiesWatchTooAndDestroyedObserversStopWatching) {
    place({0x05});
    auto original = watch(CmosRWChecksumObserver::ByteChecksum, kStart);
    const CmosRWChecksumObserver copy(*original);
    original.reset();
    cmos.writeByte(kIndex, kData, kStart, 0x06);
    EXPECT_EQ(0x06, image.storedAt(kPage + kLocation));
    {
        CmosRWChecksumObserver assigned("other", CmosRWChecksumObserver::ByteChecksum, 0x70, 0x71, 1, 1, 2, &cmos);
        assigned = copy;
        cmos.writeByte(kIndex, kData, kStart, 0x07);
        EXPECT_EQ(0x07, image.storedAt(kPage + kLocation));
        EXPECT_EQ(CmosImage::patternAt(0x7002), image.storedAt(0x7002)) << "assigned away from its old checksum";
    }
    CountingObserver counter(&cmos);
    cmos.writeByte(kIndex, kData, kStart, 0x08);
    EXPECT_EQ(0x08, image.storedAt(kPage + kLocation));
    EXPECT_EQ(2, counter.count) << "the write's notification and one repair's";
}

// Observers made one by one do not know of each other: two that cover each
// other's locations repair once each and stop. Kept together, they are a
// cycle, refused before anything is written.
TEST_F(ChecksummedCmos, ChecksumsCoveringEachOthersLocationsDoNotLoop) {
    // A sums 0x40..0x44 into 0x60; B sums 0x5E..0x61 into 0x44.
    place({0x01, 0x02, 0x03, 0x04, 0x00});
    std::vector<CmosRWChecksumObserver> observers{
        {"a", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x40, 0x44, 0x60, &cmos},
        {"b", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x5E, 0x61, 0x44, &cmos}};
    {
        CountingObserver counter(&cmos);
        cmos.writeByte(kIndex, kData, 0x40, 0x01);
        EXPECT_EQ(3, counter.count) << "the write and one repair each";
    }
    CmosRWChecksumObserver::keepTogether(observers);
    for (const CmosRWChecksumObserver& observer : observers) {
        EXPECT_EQ("it is in a cycle of checksums stored inside each other's ranges (those at 0x60, 0x44)",
                  observer.refusal());
    }
    const std::uint8_t before = image.storedAt(kPage + 0x40);
    EXPECT_THROW(cmos.writeByte(kIndex, kData, 0x40, 0x09), cmos::CmosWriteRefused);
    EXPECT_EQ(before, image.storedAt(kPage + 0x40));
}

// A write reads each range it affects once and leaves other checksums
// unread, on the real ports as well as here: three disjoint checksums and
// one over all of them.
TEST(ChecksumObservers, AWriteReadsOnlyTheRangesItAffectsOnceEach) {
    cmos_test::MemoryCmos cmos;
    std::vector<CmosRWChecksumObserver> observers{
        {"all", CmosRWChecksumObserver::WordChecksum, 0x70, 0x71, 0x10, 0x3F, 0x40, &cmos},
        {"first", CmosRWChecksumObserver::ByteChecksum, 0x70, 0x71, 0x10, 0x17, 0x18, &cmos},
        {"second", CmosRWChecksumObserver::WordCrc, 0x70, 0x71, 0x20, 0x27, 0x28, &cmos},
        {"other bank", CmosRWChecksumObserver::ByteChecksum, 0x72, 0x73, 0x10, 0x17, 0x18, &cmos}};
    CmosRWChecksumObserver::keepTogether(observers);
    CountingObserver counter(&cmos);
    cmos.reads = 0;
    cmos.writeByte(0x70, 0x71, 0x21, 0x5A);
    // "second": 8 bytes and its 2 stored; "all": 48 and 2; the repair of
    // "second" notifies once more, and nothing rereads.
    EXPECT_EQ(8 + 2 + 48 + 2, cmos.reads);
    EXPECT_EQ(2, counter.count);
    const bool verifyOnly = false;
    for (CmosRWChecksumObserver& observer : observers) EXPECT_NO_THROW(observer.update(&cmos, &verifyOnly));
}

// A block that fails part-way leaves no stale checksum behind, and the
// failure still reaches the caller.
TEST(ChecksumObservers, ABlockWriteFailingPartWayStillRepairsWhatItWrote) {
    for (long failing = 0; failing < 4; ++failing) {
        SCOPED_TRACE("failing write " + std::to_string(failing));
        cmos_test::MemoryCmos cmos;
        const CmosRWChecksumObserver sum("sum", CmosRWChecksumObserver::WordChecksum, 0x70, 0x71, 0x10, 0x1F, 0x20,
                                         &cmos);
        cmos.failingWrite = failing;
        const std::uint8_t bytes[] = {0x11, 0x22, 0x33, 0x44};
        EXPECT_THROW(cmos::writeBlock(0x12, &cmos, 0x70, 0x71, bytes, 4), smbios::InternalError);
        EXPECT_FALSE(cmos.isSuppressed());
        unsigned total = 0;
        for (unsigned offset = 0x10; offset <= 0x1F; ++offset) total += cmos.at(0x70, offset);
        EXPECT_EQ(total, cmos.at(0x70, 0x20) * 256u + cmos.at(0x70, 0x21));
        EXPECT_EQ(0x11u * static_cast<unsigned>(failing * (failing + 1) / 2), total);
    }
}

// Many checksums each stored inside all of their ranges: refused at once,
// not after a cascade of repairs.
TEST_F(ChecksummedCmos, ManyOverlappingChecksumsAreRefusedWithoutAnyRepair) {
    constexpr int kCount = 20;
    place(std::vector<std::uint8_t>(kCount, 0x01));
    std::vector<CmosRWChecksumObserver> observers;
    for (int i = 0; i < kCount; ++i) {
        observers.emplace_back("overlap", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x40, 0x40 + kCount - 1,
                               0x40 + i, &cmos);
    }
    CmosRWChecksumObserver::keepTogether(observers);
    CountingObserver counter(&cmos);
    EXPECT_THROW(cmos.writeByte(kIndex, kData, 0x40, 0x02), cmos::CmosWriteRefused);
    EXPECT_EQ(0, counter.count);
    EXPECT_EQ(0x01, image.storedAt(kPage + 0x40));
}

}  // namespace
