#include "TempHome.h"

#include <csignal>
#include <gtest/gtest.h>
#ifdef LUMIVRA_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif

int main(int argc, char **argv) {
    // A peer that hangs up shows as a failed write, not as the end of the whole run.
    std::signal(SIGPIPE, SIG_IGN);
    // Whatever a test leaves out of its own temporary home (the network access manager's disk cache, say)
    // lands in this one, never in the user's.
    const lumivra::test::TempHome home;
#ifdef LUMIVRA_TEST_GUI
    QApplication app(argc, argv);
    // Alerts closed by tests must not end the run.
    QApplication::setQuitOnLastWindowClosed(false);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
