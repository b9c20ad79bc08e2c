#ifndef VELMORA_SMBIOS_FORWARD_ITERATOR_H
#define VELMORA_SMBIOS_FORWARD_ITERATOR_H

#include <cstddef>
#include <iterator>
#include <type_traits>

namespace smbios {

// The operators of a forward iterator over `Base`, whose protected
// dereference() reaches the current element and advance() steps to the next.
// `Value` is the element as this iterator hands it out (const or not);
// `Derived` is the iterator class itself.
template <class Derived, class Base, class Value>
class ForwardIterator : public Base {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::remove_const_t<Value>;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;

    reference operator*() const { return this->dereference(); }
    pointer operator->() const { return &this->dereference(); }
    Derived& operator++() {
        this->advance();
        return static_cast<Derived&>(*this);
    }
    Derived operator++(int) {
        Derived before = static_cast<Derived&>(*this);
        this->advance();
        return before;
    }

protected:
    using Base::Base;
};

}  // namespace smbios

#endif
