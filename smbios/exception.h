#ifndef VELMORA_SMBIOS_EXCEPTION_H
#define VELMORA_SMBIOS_EXCEPTION_H

// The error vocabulary of the whole hardware data layer, not of smbios/ alone:
// this file and the four family headers beside it, smbios_exceptions.h
// (smbios, tokens, internal errors), memory_exceptions.h (memory/),
// cmos_exceptions.h (cmos/) and smi_exceptions.h (smi/). They live here
// because every layer above memory/ needs them; they form a leaf that
// includes nothing else of the project but message_expansion.h, so memory/
// can use them without depending on the SMBIOS code.
//
// Every error is thrown as a `...Impl` and caught by its interface or family.
// Its message template keeps named placeholders ("%(offset)i") that what()
// fills from the named parameters. Where an operating-system call failed, its
// code rides along as a parameter the message need not show: "ntstatus",
// "last_error" (GetLastError) or "hresult" (COM and WMI).

#include <exception>
#include <map>
#include <string>

#include "smbios/message_expansion.h"

namespace smbios {

// The root of every error of the hardware data layer. Handlers that do not
// care about the kind catch this (or std::exception).
class IException : public std::exception {
public:
    ~IException() override = default;
};

// The named parameters of an error, for a reader that does not know its type
// (error_description.h). Every thrown error implements it through Exception.
class IErrorParameters {
public:
    virtual ~IErrorParameters() = default;
    virtual std::string getParameterString(const std::string& name) const = 0;
    virtual int getParameterNum(const std::string& name) const = 0;
};

// The implementation shared by every error type `ErrorType`: a message
// template with named placeholders and two separate sets of named parameters,
// strings and integers, expanded by what().
template <class ErrorType>
class Exception : public ErrorType, public IErrorParameters {
public:
    Exception() = default;
    explicit Exception(const std::string& message) : messageTemplate_(message) {}
    // A copy starts without the original's last expansion; its what() expands afresh.
    Exception(const Exception& other)
        : ErrorType(other),
          IErrorParameters(other),
          messageTemplate_(other.messageTemplate_),
          stringParameters_(other.stringParameters_),
          numParameters_(other.numParameters_) {}
    Exception& operator=(const Exception& other) {
        if (this != &other) {
            ErrorType::operator=(other);
            IErrorParameters::operator=(other);
            messageTemplate_ = other.messageTemplate_;
            output_.clear();
            stringParameters_ = other.stringParameters_;
            numParameters_ = other.numParameters_;
        }
        return *this;
    }
    ~Exception() override = default;

    // Valid until the next what() on this object or its destruction.
    const char* what() const noexcept override {
        try {
            output_ = expandMessage(messageTemplate_, stringParameters_, numParameters_);
        } catch (...) {
            // Out of memory while expanding: the bare template still tells what failed.
            return messageTemplate_.c_str();
        }
        return output_.c_str();
    }

    // A name never set reads as the empty string or 0. Looking it up does not
    // set it, so its placeholder still stays unexpanded.
    std::string getParameterString(const std::string& name) const override {
        const auto found = stringParameters_.find(name);
        return found == stringParameters_.end() ? std::string() : found->second;
    }
    int getParameterNum(const std::string& name) const override {
        const auto found = numParameters_.find(name);
        return found == numParameters_.end() ? 0 : found->second;
    }
    virtual void setMessageString(const std::string& message) { messageTemplate_ = message; }
    virtual void setParameter(const std::string& name, int value) { numParameters_[name] = value; }
    virtual void setParameter(const std::string& name, const std::string& value) { stringParameters_[name] = value; }

private:
    std::string messageTemplate_;
    mutable std::string output_;
    std::map<std::string, std::string> stringParameters_;
    std::map<std::string, int> numParameters_;
};

}  // namespace smbios

// Declares a family of errors: an interface only, never thrown itself.
#define VELMORA_ERROR_FAMILY(Name, Base) \
  class Name : public Base {             \
public:                                  \
    ~Name() override = default;          \
  }

// Declares an error type `Name` below `Base` and `Name##Impl`, the class that
// is thrown: `throw AccessErrorImpl("...")`, caught as `AccessError&`.
#define VELMORA_ERROR_TYPE(Name, Base)                                                      \
  class Name : public Base {                                                                \
public:                                                                                     \
    ~Name() override = default;                                                             \
  };                                                                                        \
  class Name##Impl : public ::smbios::Exception<Name> {                                     \
public:                                                                                     \
    Name##Impl() = default;                                                                 \
    explicit Name##Impl(const std::string& message) : ::smbios::Exception<Name>(message) {} \
  }

#endif
