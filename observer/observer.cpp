#include "observer/observer.h"

#include <algorithm>
#include <stdexcept>

namespace observer {

IObserver::~IObserver() = default;

IObservable::~IObservable() = default;

void IObservable::attach(IObserver* observer) {
    if (observers_.size() >= kMaxObservers) throw std::length_error("list<T> too long");
    observers_.push_back(observer);
}

void IObservable::detach(IObserver* observer) { observers_.remove(observer); }

void IObservable::notify(const void* parameter) {
    // An observer may detach itself or others from inside update(). Walking a
    // snapshot keeps the iteration valid, and an entry detached meanwhile is
    // skipped, since it may already be destroyed.
    const std::list<IObserver*> snapshot = observers_;
    for (IObserver* observer : snapshot) {
        if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) continue;
        observer->update(this, parameter);
    }
}

}  // namespace observer
