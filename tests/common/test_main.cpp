// Test entry point: every test runs with a QApplication on the offscreen
// platform unless the caller chose another platform.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The machine's print system never enters a test: a desktop's scheduler
    // with a default queue would otherwise be what a QPrinter prints to. A
    // test that needs a scheduler starts its own and points CUPS_SERVER at
    // it; every other test (and every program it starts, which inherits the
    // variable) sees a scheduler socket nobody listens on, as on a machine
    // without CUPS.
    if (qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        const QByteArray none = QDir::tempPath().toLocal8Bit() + "/zb740-test-no-cups-"
            + QByteArray::number(QCoreApplication::applicationPid()) + "/cups.sock";
        qputenv("CUPS_SERVER", none);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
