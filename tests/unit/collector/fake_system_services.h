#ifndef VELMORA_TESTS_FAKE_SYSTEM_SERVICES_H
#define VELMORA_TESTS_FAKE_SYSTEM_SERVICES_H

#include <cstring>
#include <string>
#include <vector>

#include "collector/system_services.h"

namespace testing_support {

// Scripted volumes, a recording command interpreter and a clock that does
// not wait.
class FakeSystemServices : public collector::SystemServices {
public:
    struct Drive {
        std::string root;  // "X:\"
        bool labelReadable;
        std::string label;
    };

    bool enumerationAvailable = true;
    std::vector<Drive> drives;
    // The drives become visible only from this attempt of the search on (0: at once).
    int visibleFromSearch = 0;
    // When set, the drive-list call reports this length instead of the real one.
    int reportedLengthOverride = -1;
    int commandResult = 0;

    int searches = 0;
    int opened = 0;
    int closed = 0;
    std::vector<std::string> commands;
    std::vector<unsigned> sleeps;

    bool openVolumeEnumeration() override {
        ++searches;
        if (!enumerationAvailable) return false;
        ++opened;
        return true;
    }
    void closeVolumeEnumeration() override { ++closed; }
    unsigned logicalDriveStrings(char* buffer, unsigned size) override {
        std::string list;
        if (searches > visibleFromSearch)
            for (const Drive& drive : drives) list += drive.root + std::string(1, '\0');
        const unsigned length = static_cast<unsigned>(list.size());
        if (length + 1 <= size) std::memcpy(buffer, list.data(), length);
        return reportedLengthOverride >= 0 ? static_cast<unsigned>(reportedLengthOverride)
                                           : (length + 1 <= size ? length : length + 1);
    }
    bool volumeLabel(const char* root, char* label, unsigned size) override {
        for (const Drive& drive : drives) {
            if (drive.root != root) continue;
            if (!drive.labelReadable) return false;
            std::strncpy(label, drive.label.c_str(), size - 1);
            return true;
        }
        return false;
    }
    int runCommand(const char* command) override {
        commands.push_back(command);
        return commandResult;
    }
    void sleepMilliseconds(unsigned milliseconds) override { sleeps.push_back(milliseconds); }
};

}  // namespace testing_support

#endif
