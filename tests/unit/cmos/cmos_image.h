#ifndef VELMORA_TESTS_UNIT_CMOS_CMOS_IMAGE_H
#define VELMORA_TESTS_UNIT_CMOS_CMOS_IMAGE_H

// A CMOS image file for the tests, removed again at the end, and a CMOS
// factory switched to it.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "cmos/cmos_rw_factory.h"
#include "observer/observer.h"
#include "tests/unit/smbios/smbios_fixtures.h"

namespace cmos_test {

class CmosImage {
public:
    // `size` bytes, each the low byte of its position plus its page number,
    // so a read from the wrong page or offset shows.
    explicit CmosImage(std::size_t size = 0x10000) : path_(smbios_test::uniqueTempPath("cmos") += ".img") {
        std::vector<char> bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(patternAt(i));
        std::ofstream(path_, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    }
    ~CmosImage() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    CmosImage(const CmosImage&) = delete;
    CmosImage& operator=(const CmosImage&) = delete;

    static std::uint8_t patternAt(std::uint64_t position) {
        return static_cast<std::uint8_t>(position + (position >> 8) * 3);
    }

    std::string name() const { return path_.string(); }
    std::uint64_t size() const { return std::filesystem::file_size(path_); }

    // Read and written independently of the code under test.
    std::uint8_t storedAt(std::uint64_t position) const {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(position));
        return static_cast<std::uint8_t>(in.get());
    }
    void store(std::uint64_t position, const std::vector<std::uint8_t>& bytes) {
        std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(position));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path path_;
};

// The CMOS factory in UnitTestMode over `image` for the life of the object,
// reset (with its cached accessor) before and after.
class ImageFactory {
public:
    explicit ImageFactory(const CmosImage& image) {
        cmos::CmosRWFactory::getFactory()->reset();
        cmos::CmosRWFactory::getFactory()->setMode(1);
        cmos::CmosRWFactory::getFactory()->setParameter("cmosMapFile", image.name());
    }
    ~ImageFactory() { cmos::CmosRWFactory::getFactory()->reset(); }
    ImageFactory(const ImageFactory&) = delete;
    ImageFactory& operator=(const ImageFactory&) = delete;

    cmos::ICmosRW* accessor() { return cmos::CmosRWFactory::getFactory()->getSingleton(); }
};

// Counts the notifications of the accessor it is attached to.
class CountingObserver : public observer::IObserver {
public:
    explicit CountingObserver(observer::IObservable* observed) : observed_(observed) { observed_->attach(this); }
    ~CountingObserver() override { observed_->detach(this); }
    CountingObserver(const CountingObserver&) = delete;
    CountingObserver& operator=(const CountingObserver&) = delete;

    void update(observer::IObservable*, const void*) override { ++count; }

    int count = 0;

private:
    observer::IObservable* observed_;
};

}  // namespace cmos_test

#endif
