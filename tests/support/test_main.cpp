// Test entry for every test exe: GoogleTest with its output unbuffered, so that a test killed by
// its time-out still shows how far it got.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
