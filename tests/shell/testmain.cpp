// Widget tests need one application object and one set of skin resources for the whole
// run. Test discovery runs this program without the test environment, so it chooses the
// offscreen platform itself.
#include "skin/global.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CGlobal skin;
    skin.LoadDefaults();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
