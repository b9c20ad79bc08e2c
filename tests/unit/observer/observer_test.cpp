#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "observer/observer.h"

namespace {

using observer::IObservable;
using observer::IObserver;

// Records each call into a shared log; can detach itself or a victim when called.
class Recorder : public IObserver {
public:
    Recorder(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
    void update(IObservable* whatChanged, const void* parameter) override {
        log_.push_back(name_ + ":" + static_cast<const char*>(parameter));
        lastSource = whatChanged;
        if (detachSelf) whatChanged->detach(this);
        if (victim != nullptr) whatChanged->detach(victim);
    }
    bool detachSelf = false;
    IObserver* victim = nullptr;
    IObservable* lastSource = nullptr;

private:
    std::string name_;
    std::vector<std::string>& log_;
};

TEST(Observable, NotifiesInAttachOrder) {
    std::vector<std::string> log;
    Recorder a("a", log), b("b", log);
    IObservable subject;
    subject.attach(&b);
    subject.attach(&a);
    subject.attach(&b);
    subject.notify("1");
    EXPECT_EQ((std::vector<std::string>{"b:1", "a:1", "b:1"}), log);
    EXPECT_EQ(&subject, a.lastSource);
}

TEST(Observable, DetachRemovesEveryEntry) {
    std::vector<std::string> log;
    Recorder a("a", log), b("b", log), absent("x", log);
    IObservable subject;
    subject.notify("0");
    subject.attach(&a);
    subject.attach(&b);
    subject.attach(&a);
    subject.detach(&a);
    subject.detach(&absent);
    subject.notify("1");
    EXPECT_EQ((std::vector<std::string>{"b:1"}), log);
}

TEST(Observable, ObserversMayDetachDuringNotify) {
    std::vector<std::string> log;
    Recorder a("a", log), b("b", log), c("c", log);
    a.detachSelf = true;
    a.victim = &c;
    IObservable subject;
    subject.attach(&a);
    subject.attach(&b);
    subject.attach(&c);
    subject.notify("1");
    subject.notify("2");
    EXPECT_EQ((std::vector<std::string>{"a:1", "b:1", "b:2"}), log);
}

}  // namespace
