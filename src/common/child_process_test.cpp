#include "common/child_process.h"

#include <gtest/gtest.h>

using launcher::kChildNoDeadline;

TEST(ChildProcess, OutputIsKeptUpToTheCapAndTheRestDropped) {
    const struct {
        size_t kept, got, cap, expected;
    } rows[] = {
        {0, 512, 1024, 512},  {512, 512, 1024, 512}, {1000, 512, 1024, 24},
        {1024, 512, 1024, 0}, {2000, 512, 1024, 0},  {0, 0, 1024, 0},
        {0, 7, 0, 0},         {5999, 2, 6000, 1},    {0, SIZE_MAX, 6000, 6000},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(launcher::childOutputToKeep(r.kept, r.got, r.cap), r.expected)
            << r.kept << " " << r.got << " " << r.cap;
    }
}

TEST(ChildProcess, OneDeadlineBoundsReadingAndWaiting) {
    // The deadline from the start: none stays none, and a timeout past the clock's end is none.
    EXPECT_EQ(launcher::childDeadline(1000, 60000), 61000u);
    EXPECT_EQ(launcher::childDeadline(1000, 0), 1000u);
    EXPECT_EQ(launcher::childDeadline(1000, kChildNoDeadline), kChildNoDeadline);
    EXPECT_EQ(launcher::childDeadline(UINT64_MAX - 10, 60000), kChildNoDeadline);

    const struct {
        uint64_t now, deadline;
        uint32_t expected;
    } rows[] = {
        {1000, 61000, 60000},
        {60999, 61000, 1},
        {61000, 61000, 0},  // passed: no more reading, the wait only looks
        {70000, 61000, 0},
        {0, kChildNoDeadline, UINT32_MAX},  // INFINITE
        {5, kChildNoDeadline, UINT32_MAX},
        // A finite deadline far away never becomes INFINITE.
        {0, uint64_t{UINT32_MAX} + 5, UINT32_MAX - 1},
        {0, UINT32_MAX, UINT32_MAX - 1},
        {0, UINT32_MAX - 1, UINT32_MAX - 1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(launcher::childTimeLeft(r.now, r.deadline), r.expected)
            << r.now << " " << r.deadline;
    }
}
