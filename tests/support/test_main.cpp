#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    // The logical C:\Windows\Temp is the system's temporary folder, where the workflow keeps
    // copies under fixed names (a rolled-back file, a group's distribution copies). Each test
    // process has a temporary folder of its own, so that tests run side by side never read
    // each other's copies; its children inherit it.
    const QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/homologa-tests-XXXXXX"));
    if (temporary.isValid())
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
