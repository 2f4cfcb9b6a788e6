// A test program that crashes on purpose. ctest registers it as expected to fail: should it ever
// pass, a crash in a real test could go unnoticed on this target.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(CrashProbe, WriteThroughNullPointerEndsTheProgramInFailure) {
    // Both the pointer and the write are volatile: the compiler can neither prove the pointer null nor
    // drop the write as unused.
    volatile int* volatile target = nullptr;
    *target = 1;
    // Reached only when the write did not crash: the program then exits 0, which fails the probe.
    std::puts("crash probe: the program survived a write through a null pointer");
}

}  // namespace
