#include <gtest/gtest.h>

#include <thread>

#include "platform/thread.h"

using namespace vextrel;

// A thread can be kept to the first processor, which every machine has; a processor number far
// beyond any machine's is refused rather than taken modulo or ignored.
TEST(ThreadPin, PinsToAnExistingProcessorAndRefusesAMissingOne) {
    bool first = false;
    bool missing = true;
    std::thread worker([&] {
        first = platform::PinCurrentThreadToProcessor(0);
        missing = platform::PinCurrentThreadToProcessor(1u << 20);
    });
    worker.join();
    EXPECT_TRUE(first);
    EXPECT_FALSE(missing);
}
