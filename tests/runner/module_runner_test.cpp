// ExecCommands as the host reaches it: resolved by name from the module library, running
// real svn scripts with the window shown and hidden.

#include "platform/process.h"

#include "janela.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

using ExecCommandsEntry = QVariant (*)(const QString &, const QString &, bool);

class ModuloTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        modulo.setFileName(QCoreApplication::applicationDirPath() + "/../lib/libhomologa-module.so");
        ASSERT_TRUE(modulo.load()) << modulo.errorString().toStdString();
        execCommands = reinterpret_cast<ExecCommandsEntry>(modulo.resolve("ExecCommands"));
        ASSERT_NE(execCommands, nullptr);
        int code = -1;
        platform::Process::run("svnadmin create " + pasta.filePath("repo"), &code, 60000);
        ASSERT_EQ(code, 0);
        // A file URL with a native path: no mount is needed, whatever table the module sees.
        url = QUrl::fromLocalFile(pasta.filePath("repo")).toString();
    }

    QLibrary modulo;
    ExecCommandsEntry execCommands = nullptr;
    QTemporaryDir pasta;
    QString url;
};

}  // namespace

TEST_F(ModuloTest, RunsSvnScriptsShownAndHidden)
{
    const QString script = QString("@TITLE Repositório\r\nsvn info %1 --non-interactive\r\nsvn mkdir %1/trunk -m "
                                   "tronco --non-interactive")
                               .arg(url);
    {
        OperadorDaJanela operador;
        const QVariantList oculto = execCommands("Oculto", script, false).toList();
        ASSERT_EQ(oculto.size(), 2);
        EXPECT_TRUE(oculto[0].toBool()) << oculto[1].toString().toStdString();
        EXPECT_TRUE(oculto[1].toString().contains("Revisão: 0")) << oculto[1].toString().toStdString();
        EXPECT_TRUE(oculto[1].toString().contains("Commit da revisão 1.")) << oculto[1].toString().toStdString();
        EXPECT_EQ(operador.vezesMostrada(), 0);
    }
    {
        OperadorDaJanela operador;
        const QVariantList mostrado =
            execCommands("Mostrado", QString("svn info %1/trunk --non-interactive").arg(url), true).toList();
        EXPECT_TRUE(mostrado[0].toBool()) << mostrado[1].toString().toStdString();
        EXPECT_TRUE(mostrado[1].toString().contains("Revisão: 1")) << mostrado[1].toString().toStdString();
        EXPECT_EQ(operador.vezesMostrada(), 1);
    }
    {
        // A failure with the window hidden: the operator sees the output and closes it.
        OperadorDaJanela operador;
        const QVariantList falhou =
            execCommands("Oculto", QString("svn cleanup %1\r\n@ECHO depois").arg(pasta.path()), false).toList();
        EXPECT_FALSE(falhou[0].toBool()) << falhou[1].toString().toStdString();
        EXPECT_FALSE(falhou[1].toString().contains("depois"));
        EXPECT_EQ(operador.vezesMostrada(), 1);
    }
}
