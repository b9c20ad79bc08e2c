#include "cmos/cmos_checksum_observer.h"

#include <map>

namespace smbios {

CmosRWChecksumObserver::CmosRWChecksumObserver(const std::string& description, int checksumType, int indexPort,
                                               int dataPort, int start, int end, int checksumLocation,
                                               cmos::ICmosRW* accessor)
    : accessor_(accessor),
      set_(std::make_shared<CmosChecksumSet>(std::vector<ChecksumDeclaration>{{description, checksumType, indexPort,
                                                                               dataPort, start, end, checksumLocation}},
                                             accessor)) {
    attach();
}

CmosRWChecksumObserver::CmosRWChecksumObserver(const CmosRWChecksumObserver& other)
    : observer::IObserver(other), accessor_(other.accessor_), set_(other.set_), member_(other.member_) {
    attach();
}

CmosRWChecksumObserver& CmosRWChecksumObserver::operator=(const CmosRWChecksumObserver& other) {
    if (this != &other) {
        detach();
        accessor_ = other.accessor_;
        set_ = other.set_;
        member_ = other.member_;
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

void CmosRWChecksumObserver::keepTogether(std::vector<CmosRWChecksumObserver>& observers) {
    std::map<cmos::ICmosRW*, std::vector<std::size_t>> byAccessor;
    for (std::size_t i = 0; i < observers.size(); ++i) byAccessor[observers[i].accessor_].push_back(i);
    for (const auto& [accessor, members] : byAccessor) {
        std::vector<ChecksumDeclaration> declarations;
        for (const std::size_t i : members) declarations.push_back(observers[i].declaration());
        const auto set = std::make_shared<CmosChecksumSet>(std::move(declarations), accessor);
        for (std::size_t member = 0; member < members.size(); ++member) {
            observers[members[member]].set_ = set;
            observers[members[member]].member_ = member;
        }
    }
}

void CmosRWChecksumObserver::update(observer::IObservable* whatChanged, const void* parameter) {
    if (set_->declaresNone(member_)) return;
    cmos::ICmosRW* written = dynamic_cast<cmos::ICmosRW*>(whatChanged);
    if (written == nullptr) written = accessor_;
    if (written == nullptr) return;
    const bool repair = parameter == nullptr || *static_cast<const bool*>(parameter);
    if (repair) {
        set_->repairAfterWrite(written);
    } else {
        set_->verify(member_, written);
    }
}

}  // namespace smbios
