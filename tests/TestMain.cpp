#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Text recognition runs in the helper of this build tree.
    if (qEnvironmentVariableIsEmpty("VISTREL_RECOGNIZER"))
        qputenv("VISTREL_RECOGNIZER", VISTREL_TEST_RECOGNIZER);
    // No test sends a screenshot to a naming tool the developer may have installed; the
    // naming tests bring a fake one and switch naming on themselves.
    qputenv("VISTREL_SMART_NAMES", "0");
    // Nor an upload to the developer's share endpoint: an unused port on this machine stands
    // in unless a test starts its own server.
    qputenv("VISTREL_UPLOAD_URL", "http://127.0.0.1:9/api/upload");
    // Widgets are tested without a display unless a test run asks for one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing a test stores lands in the user's own configuration.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
