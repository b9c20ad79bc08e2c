#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "memory/memory_factory.h"
#include "memory/memory_file.h"
#include "memory/memory_os_specific.h"
#include "smbios/memory_exceptions.h"
#include "smbios/smbios_exceptions.h"
#include "tests/unit/memory/memory_image.h"
#include "tests/unit/support/error_text.h"

namespace {

using factory::DefaultMode;
using factory::UnitTestMode;
using memory::MemoryFactory;

class MemoryFactoryTest : public ::testing::Test {
protected:
    void TearDown() override { MemoryFactory::getFactory()->reset(); }
};

TEST_F(MemoryFactoryTest, DefaultsToPhysicalMemory) {
    MemoryFactory* f = MemoryFactory::getFactory();
    EXPECT_EQ(DefaultMode, f->getMode());
    EXPECT_EQ("\\Device\\PhysicalMemory", f->getParameterString("memFile"));
    memory::IMemory* first = f->getSingleton();
    EXPECT_NE(nullptr, dynamic_cast<memory::MemoryOsSpecific*>(first));
    EXPECT_EQ(first, f->getSingleton());
}

TEST_F(MemoryFactoryTest, UnitTestModeReadsTheImage) {
    const MemoryImage image;
    MemoryFactory* f = MemoryFactory::getFactory();
    f->setMode(UnitTestMode);
    f->setParameter("memFile", image.name());
    memory::IMemory* mem = f->getSingleton();
    ASSERT_NE(nullptr, dynamic_cast<memory::MemoryFile*>(mem));
    EXPECT_EQ(MemoryImage::byteAt(0xF0000), mem->readByte(0xF0000));

    // Changes reach only products made afterwards.
    f->setMode(2);
    f->setParameter("memFile", std::string());
    EXPECT_EQ(mem, f->getSingleton());
    EXPECT_EQ(test_support::errorTextOf<smbios::NotImplemented>([&] { delete f->makeNew(); }),
              "Unknown Memory mode requested.");
    f->setMode(UnitTestMode);
    EXPECT_EQ(test_support::errorTextOf<memory::AccessError>([&] { delete f->makeNew(); }),
              "File name passed in was null or zero-length.");
}

TEST_F(MemoryFactoryTest, ResetStartsAfresh) {
    const MemoryImage image;
    MemoryFactory* f = MemoryFactory::getFactory();
    f->setMode(UnitTestMode);
    f->setParameter("memFile", image.name());
    f->getSingleton();
    f->reset();
    MemoryFactory* again = MemoryFactory::getFactory();
    EXPECT_EQ(DefaultMode, again->getMode());
    EXPECT_NE(nullptr, dynamic_cast<memory::MemoryOsSpecific*>(again->getSingleton()));
}

TEST_F(MemoryFactoryTest, PhysicalMemoryIsNeverWritten) {
    std::unique_ptr<memory::IMemory> mem(MemoryFactory::getFactory()->makeNew());
    for (const std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{0xF0000}, ~std::uint64_t{0}}) {
        EXPECT_THROW(mem->writeByte(offset, 0), smbios::NotImplemented) << offset;
    }
}

}  // namespace
