#ifndef VELMORA_TESTS_FAKE_SYSTEM_SERVICES_H
#define VELMORA_TESTS_FAKE_SYSTEM_SERVICES_H

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "collector/system_services.h"

namespace testing_support {

// Scripted volumes, a recording command interpreter, an environment and a
// standard input of its own, and a clock that does not wait.
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

    std::map<std::string, std::string> environment;
    bool inputAvailable = true;  // whether the null device can be opened
    bool inputDetached = false;
    // What each command found when it ran: COPYCMD ("<unset>" when absent)
    // and whether standard input was detached.
    std::vector<std::string> copyOptionsSeen;
    std::vector<bool> detachedSeen;

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
        const auto found = environment.find("COPYCMD");
        copyOptionsSeen.push_back(found != environment.end() ? found->second : "<unset>");
        detachedSeen.push_back(inputDetached);
        return commandResult;
    }
    bool environmentValue(const char* name, std::string& value) override {
        const auto found = environment.find(name);
        if (found == environment.end()) return false;
        value = found->second;
        return true;
    }
    void setEnvironmentValue(const char* name, const char* value) override {
        if (value != nullptr) {
            environment[name] = value;
        } else {
            environment.erase(name);
        }
    }
    bool detachStandardInput() override {
        if (!inputAvailable || inputDetached) return false;
        inputDetached = true;
        return true;
    }
    void reattachStandardInput() override { inputDetached = false; }
    void sleepMilliseconds(unsigned milliseconds) override { sleeps.push_back(milliseconds); }
};

}  // namespace testing_support

#endif
