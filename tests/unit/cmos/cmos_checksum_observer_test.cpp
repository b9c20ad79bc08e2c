// CMOS checksum observers over image files: each checksum type on known
// data, repair and verify, and the shapes that could make repairs loop.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cmos/cmos_checksum_observer.h"
#include "cmos/cmos_rw_file.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/cmos/cmos_image.h"

namespace {

using cmos_test::CmosImage;
using cmos_test::CountingObserver;
using smbios::CmosRWChecksumObserver;

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

    CmosImage image{0x10000};
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
    {"one's complement is the negated sum", CmosRWChecksumObserver::OnesComplementWordChecksum, {0x01, 0x02},
     0xFFFD},
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

// Checked when the observer is made, so a token write never reaches CMOS
// with a checksum that cannot be kept.
TEST_F(ChecksummedCmos, UnknownTypesAndChecksumsPastThePageAreRefused) {
    struct Refused {
        int type;
        int location;
        const char* message;
    };
    const Refused refusals[] = {
        {4, 0x50, "Unknown checksum type encountered: 4"},
        {0x1F, 0x50, "Unknown checksum type encountered: 1f"},
        {CmosRWChecksumObserver::WordCrc, 0xFF, "Unknown checksum type encountered: 2"},
    };
    for (const Refused& refused : refusals) {
        try {
            CmosRWChecksumObserver observer("d4", refused.type, kIndex, kData, 0x40, 0x42, refused.location, &cmos);
            ADD_FAILURE() << refused.message;
        } catch (const smbios::IException& e) {
            EXPECT_STREQ(refused.message, e.what());
        }
    }
    CountingObserver counter(&cmos);
    cmos.writeByte(kIndex, kData, 0x40, 0);
    EXPECT_EQ(1, counter.count) << "a refused observer stays detached";

    const CmosRWChecksumObserver lastByte("d4", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x40, 0x40,
                                          0xFF, &cmos);
    cmos.writeByte(kIndex, kData, 0x40, 0x21);
    EXPECT_EQ(0x21, image.storedAt(kPage + 0xFF));
    EXPECT_EQ(CmosImage::patternAt(kPage + 0x100), image.storedAt(kPage + 0x100));
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

// A checksum stored inside its own range changes that range with every
// repair; two checksums that cover each other's locations do the same to
// each other. Each observer repairs at most once per write.
TEST_F(ChecksummedCmos, RepairsThatChangeRangesDoNotLoop) {
    place({0x01, 0x02, 0x03});
    const CmosRWChecksumObserver self("self", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x40, 0x42, 0x41,
                                      &cmos);
    CountingObserver selfCounter(&cmos);
    cmos.writeByte(kIndex, kData, 0x40, 0x01);
    EXPECT_EQ(0x06, image.storedAt(kPage + 0x41)) << "the sum as it was before the repair";
    EXPECT_EQ(2, selfCounter.count);
}

TEST_F(ChecksummedCmos, ObserversCoveringEachOthersLocationsDoNotLoop) {
    // A sums 0x40..0x44 into 0x60; B sums 0x5E..0x61 into 0x44.
    place({0x01, 0x02, 0x03, 0x04, 0x00});
    const CmosRWChecksumObserver a("a", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x40, 0x44, 0x60,
                                   &cmos);
    const CmosRWChecksumObserver b("b", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x5E, 0x61, 0x44,
                                   &cmos);
    CountingObserver counter(&cmos);
    cmos.writeByte(kIndex, kData, 0x40, 0x01);
    EXPECT_EQ(3, counter.count) << "the write and one repair each";
}

// Twenty checksums, each stored inside every other one's range: a repair
// announced from inside the repair would set off some 20! nested repairs.
// In passes, each observer the write reaches settles its round after at most
// one repair per observer and one quiet pass.
TEST_F(ChecksummedCmos, ManyOverlappingChecksumsSettleInPasses) {
    constexpr int kCount = 20;
    place(std::vector<std::uint8_t>(kCount, 0x01));
    std::vector<std::unique_ptr<CmosRWChecksumObserver>> observers;
    for (int i = 0; i < kCount; ++i) {
        observers.push_back(std::make_unique<CmosRWChecksumObserver>(
            "overlap", CmosRWChecksumObserver::ByteChecksum, kIndex, kData, 0x40, 0x40 + kCount - 1, 0x40 + i,
            &cmos));
    }
    CountingObserver counter(&cmos);
    cmos.writeByte(kIndex, kData, 0x40, 0x02);
    EXPECT_LE(counter.count, 1 + kCount * (kCount + 1)) << "the write, then per round one pass per repair and a quiet one";
}

}  // namespace
