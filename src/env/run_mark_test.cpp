#include "env/run_mark.h"

#include <gtest/gtest.h>

namespace {

TEST(RunMark, ProcessIdThenEveryRandomByteInHex) {
    const uint8_t bytes[] = {0x00, 0x0f, 0xa5, 0xff};
    EXPECT_EQ(launcher::runMarkText(0, bytes, 0), "0:");
    EXPECT_EQ(launcher::runMarkText(4, bytes, 4), "4:000fa5ff");
    EXPECT_EQ(launcher::runMarkText(4294967295u, bytes + 2, 2), "4294967295:a5ff");
}

}  // namespace
