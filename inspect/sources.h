#ifndef VELMORA_INSPECT_SOURCES_H
#define VELMORA_INSPECT_SOURCES_H

#include <string>
#include <vector>

#include "factory/tfactory.h"
#include "inspect/command_line.h"
#include "smbios/smbios_factory.h"

namespace hwinspect {

// The SMBIOS factory for the sources the library's own factory has no mode
// for: dump-bin files and the kernel's table files. It takes the place of the
// library's factory for the process (installSourceFactory), so every query
// of the library, getStructureString among them, reads the chosen source.
//
// Parameters: "dumpFile" (a dump-bin file), "sysfsFolder" (a folder holding
// "smbios_entry_point" and "DMI"), tried in this order when not empty; then,
// when "physicalMemory" is nonzero, the memory strategy with "offset" and
// "strictValidation" as the library's factory reads them.
class SourceSmbiosFactory : public factory::TFactory<smbios::SmbiosFactory> {
public:
    SourceSmbiosFactory();
    ~SourceSmbiosFactory() override;
    smbios::ISmbiosTable* getSingleton() override;
    smbios::ISmbiosTable* makeNew() override;

private:
    smbios::ISmbiosTable* singleton_ = nullptr;
};

// Makes SourceSmbiosFactory the process-wide SMBIOS factory. Must run before
// anything reaches SmbiosFactory::getFactory().
SourceSmbiosFactory& installSourceFactory();

// Points the library's factories at what the options name: the SMBIOS table's
// source and its parameters, the CMOS image (inside hwinspect's CMOS layer,
// with --dry-run and --all) and the calling interface's file.
// Call once, before the first query.
void selectSources(const Options& options);

// The memory strategy's parameters, "strictValidation" and "offset", as the
// options give them.
void setTableParameters(factory::IFactory& factory, const Options& options);

// The live machine's table, as this platform reads it.
void selectLiveSource(const Options& options);

// Why each source of the live machine gave no table, one line each ("SOURCE:
// reason"), when none did; empty once one delivers.
std::vector<std::string>& sourceFailures();

// The process-wide table; throws InternalError as the library's queries do
// when there is none.
smbios::ISmbiosTable& sharedTable();

}  // namespace hwinspect

#endif
