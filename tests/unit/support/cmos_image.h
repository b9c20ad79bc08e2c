#ifndef VELMORA_TESTS_UNIT_SUPPORT_CMOS_IMAGE_H
#define VELMORA_TESTS_UNIT_SUPPORT_CMOS_IMAGE_H

// A CMOS image file, laid out as the file accessor reads it (one 256-byte
// page per index port value), removed again when the object goes; on
// request behind the CMOS factory in UnitTestMode.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cmos/cmos_rw_factory.h"
#include "factory/ifactory.h"
#include "smbios/token_table_factory.h"
#include "tests/unit/support/files.h"
#include "tests/unit/support/temp_path.h"

namespace test_support {

class CmosImage {
public:
    using Bytes = std::vector<std::uint8_t>;
    static constexpr std::size_t kSize = 0x10000;

    // `size` bytes of `fill`.
    explicit CmosImage(std::uint8_t fill = 0, std::size_t size = kSize) : CmosImage(Bytes(size, fill)) {}
    // `size` bytes, each the low byte of its position plus three times its
    // page number, so a read from the wrong page or offset shows.
    static CmosImage patterned(std::size_t size = kSize) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = patternAt(i);
        return CmosImage(bytes);
    }
    // 64 KiB of `fill` behind the CMOS factory (see useInFactory).
    static CmosImage inFactory(std::uint8_t fill = 0) {
        CmosImage image(fill);
        image.useInFactory();
        return image;
    }
    ~CmosImage() {
        if (inFactory_) resetFactories();
    }
    CmosImage(CmosImage&& other) noexcept : file_(std::move(other.file_)), inFactory_(other.inFactory_) {
        other.inFactory_ = false;
    }
    CmosImage(const CmosImage&) = delete;
    CmosImage& operator=(const CmosImage&) = delete;
    CmosImage& operator=(CmosImage&&) = delete;

    static std::uint8_t patternAt(std::uint64_t position) {
        return static_cast<std::uint8_t>(position + (position >> 8) * 3);
    }

    // The CMOS factory reads and writes this image until the object goes,
    // and its accessor is returned. The token table factory, whose observers
    // hold that accessor, is reset before the CMOS factory, now and then.
    cmos::ICmosRW* useInFactory() {
        resetFactories();
        inFactory_ = true;
        cmos::CmosRWFactory::getFactory()->setMode(factory::UnitTestMode);
        cmos::CmosRWFactory::getFactory()->setParameter("cmosMapFile", name());
        return cmos::CmosRWFactory::getFactory()->getSingleton();
    }

    std::string name() const { return file_->string(); }
    std::uint64_t size() const { return std::filesystem::file_size(file_->path()); }

    Bytes bytes() const {
        const std::string content = readFile(file_->path());
        return Bytes(content.begin(), content.end());
    }
    void write(const Bytes& bytes) { writeFile(file_->path(), std::string(bytes.begin(), bytes.end())); }

    // By position in the file.
    std::uint8_t storedAt(std::uint64_t position) const {
        std::ifstream in(file_->path(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(position));
        return static_cast<std::uint8_t>(in.get());
    }
    void store(std::uint64_t position, const Bytes& bytes) {
        std::fstream out(file_->path(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(position));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // By index port and offset in its page.
    std::uint8_t at(std::uint16_t indexPort, unsigned offset) const { return storedAt(indexPort * 256u + offset); }
    void set(std::uint16_t indexPort, std::uint8_t offset, const Bytes& values) {
        store(indexPort * 256u + offset, values);
    }

private:
    explicit CmosImage(const Bytes& bytes) : file_(std::make_unique<TempPath>("cmos", TempPath::Kind::File, ".img")) {
        write(bytes);
    }

    static void resetFactories() {
        smbios::TokenTableFactory::getFactory()->reset();
        cmos::CmosRWFactory::getFactory()->reset();
    }

    std::unique_ptr<TempPath> file_;
    bool inFactory_ = false;
};

}  // namespace test_support

#endif
