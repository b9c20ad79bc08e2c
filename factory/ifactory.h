#ifndef VELMORA_FACTORY_IFACTORY_H
#define VELMORA_FACTORY_IFACTORY_H

#include <string>

namespace factory {

// What a factory's makeNew builds: products over the real machine and its
// operating system, or products over files that hold test data.
enum FactoryMode {
    DefaultMode = 0,
    UnitTestMode = 1,
};

// A process-wide factory: a mode and two separate sets of named parameters,
// one of strings and one of integers, read by the factory when it builds.
class IFactory {
public:
    virtual ~IFactory();
    virtual void setParameter(const std::string& name, int value) = 0;
    virtual void setParameter(const std::string& name, const std::string& value) = 0;
    virtual void setMode(int mode) = 0;
    // Destroys the process-wide instance of this kind of factory (with its
    // cached product); the next getFactory() starts from the defaults.
    virtual void reset() = 0;
    // A name never set is added with the empty string or 0, and that is returned.
    virtual std::string getParameterString(const std::string& name) = 0;
    virtual int getParameterNum(const std::string& name) = 0;
    virtual int getMode() = 0;
};

}  // namespace factory

#endif
