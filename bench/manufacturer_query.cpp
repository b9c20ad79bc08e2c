// The manufacturer query as the collector makes it, over a memory image file
// instead of the machine: one whole process, for instruction counts beside
// other readers of the same image (bench/compare-dmidecode).
// usage: manufacturer_query IMAGE
#include <cstdio>
#include <string>

#include "factory/ifactory.h"
#include "memory/memory_factory.h"
#include "smbios/smbios_factory.h"
#include "smbios/system_info.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: manufacturer_query IMAGE\n");
        return 2;
    }
    memory::MemoryFactory::getFactory()->setMode(factory::UnitTestMode);
    memory::MemoryFactory::getFactory()->setParameter("memFile", std::string(argv[1]));
    smbios::SmbiosFactory::getFactory()->setMode(factory::UnitTestMode);

    char* name = smbios::getManufacturerName();
    if (name == nullptr) {
        std::fprintf(stderr, "no manufacturer\n");
        return 1;
    }
    std::puts(name);
    delete[] name;
    return 0;
}
