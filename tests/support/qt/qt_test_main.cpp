// Entry point of the Qt test executables: an offscreen application (no
// display needed), the Japanese font substitutions, then GoogleTest.
#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

#include "support/test_main.h"
#include "uikit/fonts.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    sonivate::RegisterFontSubstitutes();
    sonivate::test::InitTests(&argc, argv);
    return RUN_ALL_TESTS();
}
