#include "cmos/cmos_checksum_observer.h"

#include <cstdint>
#include <sstream>
#include <vector>

#include "smbios/smbios_exceptions.h"

namespace smbios {

namespace {

bool declaresNoChecksum(int start, int end, int location) { return start == 0 && end == 0 && location == 0; }

// Bytes the stored checksum takes; 0 for a type code that is not known.
int widthOf(int type) {
    switch (type) {
    case CmosRWChecksumObserver::ByteChecksum:
        return 1;
    case CmosRWChecksumObserver::WordChecksum:
    case CmosRWChecksumObserver::WordCrc:
    case CmosRWChecksumObserver::OnesComplementWordChecksum:
        return 2;
    default:
        return 0;
    }
}

[[noreturn]] void throwUnknownType(int type) {
    std::ostringstream message;
    message << "Unknown checksum type encountered: " << std::hex << static_cast<unsigned>(type);
    throw Exception<IException>(message.str());
}

struct Checksums {
    std::uint16_t word = 0;
    std::uint8_t byte = 0;
    std::uint16_t crc = 0;
    std::uint16_t wordNegated = 0;

    std::uint16_t ofType(int type) const {
        switch (type) {
        case CmosRWChecksumObserver::WordChecksum:
            return word;
        case CmosRWChecksumObserver::ByteChecksum:
            return byte;
        case CmosRWChecksumObserver::WordCrc:
            return crc;
        default:
            return wordNegated;
        }
    }
};

// Not the common CRC-16: each shifted-out 1 sets bit 15 before the XOR with
// 0xA001, which the firmware's checksum code does too.
std::uint16_t wordCrc(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t crc = 0;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (carry) crc = static_cast<std::uint16_t>((crc | 0x8000) ^ 0xA001);
        }
    }
    return crc;
}

Checksums checksumsOf(const std::vector<std::uint8_t>& bytes) {
    Checksums sums;
    for (const std::uint8_t byte : bytes) {
        sums.word = static_cast<std::uint16_t>(sums.word + byte);
        sums.byte = static_cast<std::uint8_t>(sums.byte + byte);
    }
    sums.crc = wordCrc(bytes);
    sums.wordNegated = static_cast<std::uint16_t>(0x10000 - sums.word);
    return sums;
}

const char* typeLine(int type) {
    switch (type) {
    case CmosRWChecksumObserver::WordChecksum:
        return "SMBIOS-specified checksum type is Word Checksum. Type %(word_chksum_type)i";
    case CmosRWChecksumObserver::ByteChecksum:
        return "SMBIOS-specified checksum type is Byte Checksum. Type %(byte_chksum_type)i";
    case CmosRWChecksumObserver::WordCrc:
        return "SMBIOS-specified checksum type is Word CRC. Type %(word_crc_type)i";
    default:
        return "SMBIOS-specified checksum type is One's Complement Word Checksum. Type %(word_chksum_n_type)i";
    }
}

// The description is the structure's printed form; a percent sign in it
// must print as itself, not start a placeholder.
std::string literal(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return escaped;
}

// The repairs under way on one accessor. A repair's write changes bytes
// that other checksums may cover; telling every observer at once, from inside
// the repair, would let each of them repair and tell all the others again,
// which takes time exponential in the number of overlapping checksums. So the
// first repair owns a round: it tells the observers in passes, an observer
// repairs at most once in the round, and a pass in which nobody repaired ends
// it. Calls never overlap and notifications run on the caller's thread.
struct RepairRound {
    const cmos::ICmosRW* accessor;
    std::vector<const CmosRWChecksumObserver*> repaired;
    bool again = false;

    bool hasRepaired(const CmosRWChecksumObserver* observer) const {
        for (const auto* each : repaired) {
            if (each == observer) return true;
        }
        return false;
    }
};

thread_local std::vector<RepairRound*> activeRounds;

RepairRound* roundOn(const cmos::ICmosRW* accessor) {
    for (RepairRound* round : activeRounds) {
        if (round->accessor == accessor) return round;
    }
    return nullptr;
}

class RoundScope {
public:
    explicit RoundScope(RepairRound& round) { activeRounds.push_back(&round); }
    ~RoundScope() { activeRounds.pop_back(); }
    RoundScope(const RoundScope&) = delete;
    RoundScope& operator=(const RoundScope&) = delete;
};

}  // namespace

CmosRWChecksumObserver::CmosRWChecksumObserver(const std::string& description, int checksumType, int indexPort,
                                               int dataPort, int start, int end, int checksumLocation,
                                               cmos::ICmosRW* accessor)
    : description_(description),
      accessor_(accessor),
      checksumType_(checksumType),
      indexPort_(indexPort),
      dataPort_(dataPort),
      start_(start),
      end_(end),
      checksumLocation_(checksumLocation) {
    if (!declaresNoChecksum(start, end, checksumLocation)) {
        const int width = widthOf(checksumType);
        // Past the page the bytes belong to the next index port's page.
        if (width == 0 || checksumLocation < 0 || checksumLocation + width > 256) throwUnknownType(checksumType);
    }
    attach();
}

CmosRWChecksumObserver::CmosRWChecksumObserver(const CmosRWChecksumObserver& other)
    : observer::IObserver(other),
      description_(other.description_),
      accessor_(other.accessor_),
      checksumType_(other.checksumType_),
      indexPort_(other.indexPort_),
      dataPort_(other.dataPort_),
      start_(other.start_),
      end_(other.end_),
      checksumLocation_(other.checksumLocation_) {
    attach();
}

CmosRWChecksumObserver& CmosRWChecksumObserver::operator=(const CmosRWChecksumObserver& other) {
    if (this != &other) {
        detach();
        description_ = other.description_;
        accessor_ = other.accessor_;
        checksumType_ = other.checksumType_;
        indexPort_ = other.indexPort_;
        dataPort_ = other.dataPort_;
        start_ = other.start_;
        end_ = other.end_;
        checksumLocation_ = other.checksumLocation_;
        attach();
    }
    return *this;
}

CmosRWChecksumObserver::~CmosRWChecksumObserver() { detach(); }

void CmosRWChecksumObserver::attach() {
    if (auto* observable = dynamic_cast<observer::IObservable*>(accessor_)) observable->attach(this);
}

void CmosRWChecksumObserver::detach() {
    if (auto* observable = dynamic_cast<observer::IObservable*>(accessor_)) observable->detach(this);
}

void CmosRWChecksumObserver::update(observer::IObservable* whatChanged, const void* parameter) {
    if (declaresNoChecksum(start_, end_, checksumLocation_)) return;
    cmos::ICmosRW* written = dynamic_cast<cmos::ICmosRW*>(whatChanged);
    if (written == nullptr) written = accessor_;
    if (written == nullptr) return;
    RepairRound* round = roundOn(written);
    if (round != nullptr && round->hasRepaired(this)) return;

    const int width = widthOf(checksumType_);
    if (width == 0) throwUnknownType(checksumType_);
    const auto index = static_cast<std::uint32_t>(indexPort_);
    const auto data = static_cast<std::uint32_t>(dataPort_);

    std::vector<std::uint8_t> range;
    for (int offset = start_; offset <= end_; ++offset) {
        range.push_back(written->readByte(index, data, static_cast<std::uint32_t>(offset)));
    }
    const Checksums sums = checksumsOf(range);
    const std::uint16_t calculated = sums.ofType(checksumType_);

    std::uint16_t stored = 0;
    for (int i = 0; i < width; ++i) {
        stored = static_cast<std::uint16_t>(
            (stored << 8) | written->readByte(index, data, static_cast<std::uint32_t>(checksumLocation_ + i)));
    }
    if (stored == calculated) return;

    const bool repair = parameter == nullptr || *static_cast<const bool*>(parameter);
    if (repair) {
        {
            cmos::SuppressionScope quiet(dynamic_cast<cmos::Suppressable*>(written));
            for (int i = 0; i < width; ++i) {
                const int shift = 8 * (width - 1 - i);
                written->writeByte(index, data, static_cast<std::uint32_t>(checksumLocation_ + i),
                                   static_cast<std::uint8_t>(calculated >> shift));
            }
        }
        if (round != nullptr) {
            round->repaired.push_back(this);
            round->again = true;
            return;
        }
        auto* observable = dynamic_cast<observer::IObservable*>(written);
        if (observable == nullptr) return;
        RepairRound own{written, {this}};
        const RoundScope scope(own);
        do {
            own.again = false;
            observable->notify(nullptr);
        } while (own.again);
        return;
    }

    std::string message = literal(description_) + "\nChecksum check for CMOS value does not match.\n";
    message += typeLine(checksumType_);
    message +=
        "\nChecking alternate checksum algorithm results.\n"
        "Calculated (Type %(word_chksum_type)i) word checksum is: %(calc_word)i\n"
        "Calculated (Type %(byte_chksum_type)i) byte checksum is: %(calc_byte)i\n"
        "Calculated (Type %(word_crc_type)i) word crc is: %(calc_crc)i\n"
        "Calculated (Type %(word_chksum_n_type)i) 1's complement word checksum is: %(calc_word_n)i\n"
        "Actual data value is: %(actual)i\n"
        "Calculated data value is: %(calc)i\n"
        "Start: %(start)i\n"
        "End: %(end)i\n"
        "Checksum Loc: %(checksumLocation)i\n"
        "Index Port: %(index)i\n"
        "Data Port: %(data)i\n";
    InvalidChecksumImpl error(message);
    error.setParameter("byte_chksum_type", static_cast<int>(ByteChecksum));
    error.setParameter("word_chksum_type", static_cast<int>(WordChecksum));
    error.setParameter("word_chksum_n_type", static_cast<int>(OnesComplementWordChecksum));
    error.setParameter("word_crc_type", static_cast<int>(WordCrc));
    error.setParameter("calc_byte", static_cast<int>(sums.byte));
    error.setParameter("calc_word", static_cast<int>(sums.word));
    error.setParameter("calc_word_n", static_cast<int>(sums.wordNegated));
    error.setParameter("calc_crc", static_cast<int>(sums.crc));
    error.setParameter("actual", static_cast<int>(stored));
    error.setParameter("calc", static_cast<int>(calculated));
    error.setParameter("start", start_);
    error.setParameter("end", end_);
    error.setParameter("checksumLocation", checksumLocation_);
    error.setParameter("index", indexPort_);
    error.setParameter("data", dataPort_);
    throw error;
}

}  // namespace smbios
