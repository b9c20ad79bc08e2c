#ifndef VELMORA_SEAM_TEST_REPLACEMENT_H
#define VELMORA_SEAM_TEST_REPLACEMENT_H

namespace seam {

// A process-wide object that a test may replace: the product's own unless a
// test installed another. Each seam's setXForTesting function is exchange();
// the product reaches the object through orElse() with its own.
template <class T>
class TestReplacement {
public:
    // The installed replacement, else `product`.
    T& orElse(T& product) const { return replacement_ != nullptr ? *replacement_ : product; }

    // Installs `replacement` (null: none, the product's own again) and
    // returns the one it replaced (null: none was installed).
    T* exchange(T* replacement) {
        T* previous = replacement_;
        replacement_ = replacement;
        return previous;
    }

private:
    T* replacement_ = nullptr;
};

}  // namespace seam

#endif
