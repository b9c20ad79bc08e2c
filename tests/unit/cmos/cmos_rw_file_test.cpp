// The CMOS factory and the image-file accessor, over generated image files.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cmos/cmos_rw_factory.h"
#include "cmos/cmos_rw_file.h"
#include "smbios/cmos_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/cmos/counting_observer.h"
#include "tests/unit/support/cmos_image.h"
#include "tests/unit/support/error_text.h"
#include "tests/unit/support/temp_path.h"

namespace {

using cmos_test::CountingObserver;
using test_support::CmosImage;
using test_support::errorTextOf;

TEST(CmosRWFactory, BuildsFromItsModeAndCachesTheSingleton) {
    cmos::CmosRWFactory::getFactory()->reset();
    EXPECT_EQ("", cmos::CmosRWFactory::getFactory()->getParameterString("cmosMapFile"));

    CmosImage image = CmosImage::patterned();
    cmos::ICmosRW* accessor = image.useInFactory();
    EXPECT_NE(nullptr, dynamic_cast<cmos::CmosRWFile*>(accessor));
    EXPECT_EQ(accessor, cmos::CmosRWFactory::getFactory()->getSingleton());

    cmos::CmosRWFactory::getFactory()->setMode(2);
    EXPECT_EQ("CmosRW Factory has been set to an invalid mode.",
              errorTextOf<cmos::InvalidCmosRWMode>([] { delete cmos::CmosRWFactory::getFactory()->makeNew(); }));
    // The cached accessor outlives a mode change.
    EXPECT_EQ(accessor, cmos::CmosRWFactory::getFactory()->getSingleton());
}

TEST(CmosRWFile, ReadsOnePagePerIndexPortAndFFPastTheEnd) {
    CmosImage image = CmosImage::patterned();
    cmos::ICmosRW* cmos = image.useInFactory();
    EXPECT_EQ(CmosImage::patternAt(0x7010), cmos->readByte(0x70, 0x71, 0x10));
    EXPECT_EQ(CmosImage::patternAt(0x7010), cmos->readByte(0x70, 0x1234, 0x10)) << "the data port takes no part";
    EXPECT_EQ(CmosImage::patternAt(0x0000), cmos->readByte(0, 0, 0));
    EXPECT_EQ(CmosImage::patternAt(0xFFFF), cmos->readByte(0xFF, 0, 0xFF));
    EXPECT_EQ(0xFF, cmos->readByte(0x100, 0x101, 0));
    EXPECT_EQ(0xFF, cmos->readByte(0xFFFF, 0, 0xFF));
    EXPECT_EQ(0xFF, cmos->readByte(0xFFFFFFFFu, 0, 0xFFFFFFFFu));
}

TEST(CmosRWFile, WritesInPlaceAndNotifiesUnlessSuppressed) {
    CmosImage image = CmosImage::patterned();
    cmos::CmosRWFile cmos(image.name());
    CountingObserver counter(&cmos);

    cmos.writeByte(0x72, 0x73, 0x05, 0xA5);
    EXPECT_EQ(0xA5, image.storedAt(0x7205));
    EXPECT_EQ(CmosImage::patternAt(0x7204), image.storedAt(0x7204));
    EXPECT_EQ(CmosImage::patternAt(0x7206), image.storedAt(0x7206));
    EXPECT_EQ(0x10000u, image.size());
    EXPECT_EQ(1, counter.count);

    cmos.setSuppressed(true);
    cmos.writeByte(0x72, 0x73, 0x06, 0x5A);
    EXPECT_EQ(0x5A, image.storedAt(0x7206));
    EXPECT_EQ(1, counter.count);
}

// A block write notifies once, when all of its bytes are in place, and
// leaves the accessor as suppressed as it found it.
TEST(CmosRWFile, ABlockWriteNotifiesOnce) {
    CmosImage image = CmosImage::patterned();
    cmos::CmosRWFile cmos(image.name());
    struct SeesWholeBlock : observer::IObserver {
        explicit SeesWholeBlock(cmos::CmosRWFile& cmos) : cmos(cmos) {}
        void update(observer::IObservable*, const void* parameter) override {
            ++count;
            EXPECT_EQ(nullptr, parameter);
            last = cmos.readByte(0x70, 0x71, 0x23);
        }
        cmos::CmosRWFile& cmos;
        int count = 0;
        int last = -1;
    } observer(cmos);
    cmos.attach(&observer);

    const std::vector<std::uint8_t> bytes = {1, 2, 3, 4};
    cmos::writeBlock(0x20, &cmos, 0x70, 0x71, bytes.data(), bytes.size());
    cmos.detach(&observer);
    EXPECT_EQ(1, observer.count);
    EXPECT_EQ(4, observer.last);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bytes[i], image.storedAt(0x7020 + i));
    EXPECT_FALSE(cmos.isSuppressed());
}

TEST(CmosRWFile, ABlockWriteToAnAccessorThatCannotBeObservedJustWrites) {
    struct Plain : cmos::ICmosRW {
        std::uint8_t readByte(std::uint32_t, std::uint32_t, std::uint32_t) override { return 0; }
        void writeByte(std::uint32_t index, std::uint32_t, std::uint32_t offset, std::uint8_t value) override {
            written.push_back(index << 16 | offset << 8 | value);
        }
        std::vector<std::uint32_t> written;
    } plain;
    const std::uint8_t bytes[] = {0xAA, 0xBB};
    cmos::writeBlock(0xFE, &plain, 0x72, 0x73, bytes, 2);
    EXPECT_EQ((std::vector<std::uint32_t>{0x72FEAA, 0x72FFBB}), plain.written);
}

// Writing past the end grows the file; the bytes skipped over keep reading
// as 0xFF, as they did before the write, instead of turning into zeros.
TEST(CmosRWFile, AWritePastTheEndKeepsTheSkippedBytesUnpopulated) {
    CmosImage image = CmosImage::patterned(0x100);
    cmos::CmosRWFile cmos(image.name());
    cmos.writeByte(0x02, 0, 0x10, 0x42);
    EXPECT_EQ(0x211u, image.size());
    EXPECT_EQ(0x42, cmos.readByte(0x02, 0, 0x10));
    for (const std::uint32_t offset : {0x00u, 0x0Fu}) EXPECT_EQ(0xFF, cmos.readByte(0x02, 0, offset));
    EXPECT_EQ(0xFF, cmos.readByte(0x01, 0, 0x80));
    EXPECT_EQ(CmosImage::patternAt(0xFF), cmos.readByte(0x00, 0, 0xFF));

    // A gap of many pages, ending inside one.
    cmos.writeByte(0x40, 0, 0x33, 0x01);
    EXPECT_EQ(0x4034u, image.size());
    for (const std::uint32_t index : {0x03u, 0x20u, 0x3Fu}) EXPECT_EQ(0xFF, cmos.readByte(index, 0, 0xFF));
    EXPECT_EQ(0xFF, cmos.readByte(0x40, 0, 0x32));
    EXPECT_EQ(0x42, cmos.readByte(0x02, 0, 0x10));
}

TEST(CmosRWFile, AFileThatCannotBeOpenedIsAnInternalError) {
    const std::filesystem::path missing = test_support::uniqueTempPath("cmos-missing");
    cmos::CmosRWFile cmos(missing.string());
    CountingObserver counter(&cmos);
    EXPECT_EQ("Internal Error: could not cmos file for reading.",
              errorTextOf<smbios::InternalError>([&] { cmos.readByte(0x70, 0x71, 0); }));
    EXPECT_EQ("Internal Error: could not cmos file for writing.",
              errorTextOf<smbios::InternalError>([&] { cmos.writeByte(0x70, 0x71, 0, 1); }));
    EXPECT_FALSE(std::filesystem::exists(missing)) << "a write must not create the image";
    EXPECT_EQ(0, counter.count);

    // Beyond the 65536 pages of the I/O space nothing can be stored.
    CmosImage image = CmosImage::patterned(0x100);
    cmos::CmosRWFile small(image.name());
    EXPECT_THROW(small.writeByte(0x10000, 0, 0, 1), smbios::InternalError);
    EXPECT_EQ(0x100u, image.size());
}

}  // namespace
