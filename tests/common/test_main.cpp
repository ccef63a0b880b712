// Shared entry point of the test binaries.
#include <gtest/gtest.h>

#include "foundation/classes.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    omb::CreateClassRegistry();
    int rc = RUN_ALL_TESTS();
    omb::FreeClassRegistry();
    return rc;
}
