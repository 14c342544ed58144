#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Tests see the interface in Simplified Chinese unless a test sets otherwise, and
    // never write to the user's syslog-visible stderr by accident.
    setenv("PIVOREL_TEST_RUN", "1", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
