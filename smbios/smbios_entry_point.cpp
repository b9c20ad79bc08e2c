#include "smbios/smbios_entry_point.h"

#include <algorithm>
#include <cstring>

#include "layout/little_endian.h"
#include "layout/smbios_entry_points.h"

namespace smbios {

namespace {

bool startsWith(const std::uint8_t* bytes, std::size_t size, const char* anchor, std::size_t length) {
    return size >= length && std::memcmp(bytes, anchor, length) == 0;
}

void copyField(const std::uint8_t* bytes, std::size_t size, std::size_t offset, void* out, std::size_t count) {
    const std::size_t available = offset < size ? std::min(count, size - offset) : 0;
    std::memset(out, 0, count);
    if (available > 0) std::memcpy(out, bytes + offset, available);
}

}  // namespace

SmbiosEntryPoint entryPointFromBytes(const std::uint8_t* bytes, std::size_t size) {
    namespace at = layout::entry_point_2;
    const auto byte = [bytes, size](std::size_t offset) -> std::uint8_t { return offset < size ? bytes[offset] : 0; };
    SmbiosEntryPoint record{};
    copyField(bytes, size, 0, record.anchor, sizeof record.anchor);
    record.checksum = byte(at::kChecksum);
    record.length = byte(at::kLength);
    record.majorVersion = byte(at::kMajorVersion);
    record.minorVersion = byte(at::kMinorVersion);
    record.maxStructureSize = layout::read16(bytes, size, at::kMaxStructureSize);
    record.revision = byte(at::kRevision);
    copyField(bytes, size, at::kFormattedArea, record.formattedArea, sizeof record.formattedArea);
    copyField(bytes, size, at::kIntermediateAnchorAt, record.intermediateAnchor, sizeof record.intermediateAnchor);
    record.intermediateChecksum = byte(at::kIntermediateChecksum);
    record.tableLength = layout::read16(bytes, size, at::kTableLength);
    record.tableAddress = layout::read32(bytes, size, at::kTableAddress);
    record.structureCount = layout::read16(bytes, size, at::kStructureCount);
    record.bcdRevision = byte(at::kBcdRevision);
    record.trailing = byte(at::kTrailing);
    return record;
}

bool decodeEntryPoint(const std::uint8_t* bytes, std::size_t size, DecodedEntryPoint& decoded) {
    namespace v2 = layout::entry_point_2;
    namespace v3 = layout::entry_point_3;
    if (size >= v2::kMinimumLength && startsWith(bytes, size, v2::kAnchor, v2::kAnchorLength)) {
        decoded.record = entryPointFromBytes(bytes, size);
        decoded.tableAddress = decoded.record.tableAddress;
        decoded.tableLength = decoded.record.tableLength;
        return true;
    }
    if (size >= v3::kMinimumLength && startsWith(bytes, size, v3::kAnchor, v3::kAnchorLength)) {
        SmbiosEntryPoint record{};
        std::memcpy(record.anchor, "_SM3", sizeof record.anchor);
        record.length = bytes[v3::kLength];
        record.majorVersion = bytes[v3::kMajorVersion];
        record.minorVersion = bytes[v3::kMinorVersion];
        record.structureCount = kUnknownStructureCount;
        decoded.tableAddress = layout::read64(bytes, size, v3::kTableAddress);
        decoded.tableLength = layout::read32(bytes, size, v3::kTableMaximumSize);
        record.tableAddress = static_cast<std::uint32_t>(decoded.tableAddress);
        decoded.record = record;
        return true;
    }
    return false;
}

}  // namespace smbios
