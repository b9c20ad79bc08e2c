#ifndef VELMORA_TESTS_UNIT_CMOS_COUNTING_OBSERVER_H
#define VELMORA_TESTS_UNIT_CMOS_COUNTING_OBSERVER_H

#include "observer/observer.h"

namespace cmos_test {

// Counts the notifications of the accessor it is attached to.
class CountingObserver : public observer::IObserver {
public:
    explicit CountingObserver(observer::IObservable* observed) : observed_(observed) { observed_->attach(this); }
    ~CountingObserver() override { observed_->detach(this); }
    CountingObserver(const CountingObserver&) = delete;
    CountingObserver& operator=(const CountingObserver&) = delete;

    void update(observer::IObservable*, const void*) override { ++count; }

    int count = 0;

private:
    observer::IObservable* observed_;
};

}  // namespace cmos_test

#endif
