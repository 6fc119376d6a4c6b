// main() of the non-Qt test executables.
#include <gtest/gtest.h>

#include "support/test_main.h"

int main(int argc, char** argv) {
    sonivate::test::InitTests(&argc, argv);
    return RUN_ALL_TESTS();
}
