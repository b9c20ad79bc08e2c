#ifndef VELMORA_FACTORY_TFACTORY_H
#define VELMORA_FACTORY_TFACTORY_H

#include <map>
#include <memory>
#include <string>

#include "factory/ifactory.h"

namespace factory {

// The one implementation of IFactory's operations, for any factory interface
// `Base` (IFactory itself or a per-product factory deriving from it). Each
// instantiation owns one process-wide instance pointer, so every kind of
// factory has its own singleton.
template <class Base>
class TFactory : public Base {
public:
    TFactory() = default;
    TFactory(const TFactory&) = delete;
    TFactory& operator=(const TFactory&) = delete;

    // A factory destroyed other than through reset() must not stay reachable
    // through the instance pointer.
    ~TFactory() override {
        // Not owned any more: release() only lets go, it does not delete again.
        if (instance_.get() == this) static_cast<void>(instance_.release());
    }

    void setParameter(const std::string& name, int value) override { numParameters_[name] = value; }

    void setParameter(const std::string& name, const std::string& value) override { stringParameters_[name] = value; }

    void setMode(int mode) override { mode_ = mode; }

    void reset() override { resetInstance(); }

    std::string getParameterString(const std::string& name) override { return stringParameters_[name]; }

    int getParameterNum(const std::string& name) override { return numParameters_[name]; }

    int getMode() override { return mode_; }

    // The process-wide factory of this kind, created as an `Impl` on first use.
    template <class Impl>
    static Base* instance() {
        if (!instance_) instance_ = std::make_unique<Impl>();
        return instance_.get();
    }

    // Clears the instance pointer before destroying the factory, so that
    // nothing reached from the destructor can find a half-destroyed object.
    // Does nothing when no factory of this kind exists.
    static void resetInstance() { std::unique_ptr<TFactory> old = std::move(instance_); }

private:
    int mode_ = DefaultMode;
    std::map<std::string, std::string> stringParameters_;
    std::map<std::string, int> numParameters_;

    static inline std::unique_ptr<TFactory> instance_;
};

}  // namespace factory

#endif
