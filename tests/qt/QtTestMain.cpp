#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

// The Qt tests need one application object for the whole run; without a display they draw
// offscreen.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    QApplication Application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
