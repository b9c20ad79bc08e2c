#ifndef VELMORA_TESTS_UNIT_SUPPORT_SCOPED_SEAM_H
#define VELMORA_TESTS_UNIT_SUPPORT_SCOPED_SEAM_H

// The one convention for test seams: each seam of the product has an
// installer `T setXForTesting(T fake)` that returns what it replaced (a null
// pointer stands for the product's own). A ScopedSeam installs a fake for its
// life and puts the previous one back, so seams nest and no test leaks its
// fake into the next.

namespace test_support {

template <class T>
class ScopedSeam {
public:
    using Installer = T (*)(T);

    ScopedSeam(Installer install, T fake) : install_(install), previous_(install(fake)) {}
    ~ScopedSeam() { install_(previous_); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    Installer install_;
    T previous_;
};

}  // namespace test_support

#endif
