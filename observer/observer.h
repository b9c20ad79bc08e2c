#ifndef VELMORA_OBSERVER_OBSERVER_H
#define VELMORA_OBSERVER_OBSERVER_H

#include <cstddef>
#include <list>

namespace observer {

class IObservable;

// Told by an observable it is attached to that something changed. An
// observer detaches itself when it is destroyed; the observable does not
// own it.
class IObserver {
public:
    virtual ~IObserver();
    virtual void update(IObservable* whatChanged, const void* parameter) = 0;
};

// Keeps its observers in the order they were attached and calls them in that
// order. The same observer attached twice is called twice.
class IObservable {
public:
    // The most entries the list holds; one more fails with std::length_error.
    static constexpr std::size_t kMaxObservers = 1073741822;

    virtual ~IObservable();
    virtual void attach(IObserver* observer);
    // Removes every entry of `observer`; an absent one is ignored.
    virtual void detach(IObserver* observer);
    virtual void notify(const void* parameter);

private:
    std::list<IObserver*> observers_;
};

}  // namespace observer

#endif
