#pragma once
// The main() of a test that needs a QApplication (widgets, the protocol thread's hand-
// over to the main thread): without a display it runs offscreen, with a runtime
// folder of its own when none is set.
//
//   TOLVER_GUI_TEST_MAIN()

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdlib>

namespace tolver::testutil {

inline void PrepareGuiTestEnvironment() {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        static char dir[] = "/tmp/tolver-xdg-XXXXXX";
        if (::mkdtemp(dir)) ::setenv("XDG_RUNTIME_DIR", dir, 1);
    }
}

}  // namespace tolver::testutil

#define TOLVER_GUI_TEST_MAIN()                                  \
    int main(int argc, char** argv) {                           \
        ::tolver::testutil::PrepareGuiTestEnvironment();         \
        QApplication app(argc, argv);                           \
        ::testing::InitGoogleTest(&argc, argv);                 \
        return RUN_ALL_TESTS();                                 \
    }
