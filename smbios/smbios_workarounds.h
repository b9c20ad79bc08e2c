#ifndef VELMORA_SMBIOS_SMBIOS_WORKAROUNDS_H
#define VELMORA_SMBIOS_SMBIOS_WORKAROUNDS_H

namespace smbios {

// The corrections chosen for one table's known firmware defects. No
// definitions are built in yet: a table holds none, and items are handed out
// as the firmware wrote them.
class SmbiosWorkaroundTable {
public:
    virtual ~SmbiosWorkaroundTable() = default;
};

}  // namespace smbios

#endif
