// Shared entry point of the test binaries. A binary started in a child role
// (see child_process.h) runs that role instead of the tests.
#include <gtest/gtest.h>

#include "foundation/classes.h"
#ifdef _WIN32
#include "tests/common/child_process.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    int exitCode = 0;
    if (omb::test::RunChildRole(argc, argv, exitCode)) return exitCode;
#endif
    ::testing::InitGoogleTest(&argc, argv);
    omb::CreateClassRegistry();
    int rc = RUN_ALL_TESTS();
    omb::FreeClassRegistry();
    return rc;
}
