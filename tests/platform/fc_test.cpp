#include "platform/process.h"

#include "support/testenv.h"

#include <gtest/gtest.h>

using platform::Process;

TEST(CompareTool, EqualDifferentAndMissingFiles)
{
    MountedDrive drive;
    drive.writeFile("a.txt", "mesmo conteúdo");
    drive.writeFile("b.txt", "mesmo conteúdo");
    drive.writeFile("c.txt", "mesmo contexto!!");

    int code = -1;
    QString output = Process::run(R"(FC.EXE /B C:\a.txt C:\b.txt)", &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(output.contains("Comparando os arquivos C:\\a.txt e C:\\b.txt")) << output.toStdString();
    EXPECT_TRUE(output.contains("FC: nenhuma diferença encontrada"));

    output = Process::run(R"(fc C:\a.txt C:\c.txt)", &code);
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(output.contains("nenhuma diferença"));
    EXPECT_TRUE(output.contains("0000000B:")) << output.toStdString();
    EXPECT_TRUE(output.contains("maior que"));

    output = Process::run(R"(fc C:\a.txt C:\nada.txt)", &code);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(output.contains("C:\\nada.txt")) << output.toStdString();
}
