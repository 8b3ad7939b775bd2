// The pre-homologated copy on the demo workspace: the group that reached "003" has its
// files copied into the pre-homologated tree, with the backup area and the list of the
// files it added.

#include "datamodule/dmgrupsolihom.h"
#include "demo/demo.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "methods/embedded.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/settings.h"
#include "promotion/prehomologados.h"
#include "store/database.h"
#include "tools/import.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace files = platform::files;

TEST(DemoPreHomologados, GroupAtGeneratedPhaseFillsThePreHomologatedTree)
{
    const platform::MountTable mounts = platform::mounts();
    const QString settingsFile = platform::settings::filePath();
    const host::HostSettings hostSettings = host::hostSettings();
    ScriptedHostUi ui;
    ui.setHeadless(true);
    HostUiScope scope(ui);
    QTemporaryDir dir;
    {
        demo::prepare(dir.filePath("demo"), false, [](const demo::Workspace &workspace) {
            server::Database database(server::DatabaseSpec::parse(workspace.databaseFile));
            server::importDocument(database, demo::importDocument(workspace.content));
        });
        host::loadHostSettings();
        TdmGrupSoliHom dm;
        dm.GetInitialData();
        ASSERT_TRUE(dm.LocalizaGrupo("0000000003"));
        ASSERT_EQ(dm.statusGrupo(), "003");
        dm.GetLocations(dm.grupo("CDPRODUTO"));
        PreHomologados(dm).AtualizaPorFamilia();

        const QString raiz = dm.DirPreHomol;
        const QStringList copiados{raiz + "Ftp\\RelFtp\\VENDAS.QR2", raiz + "Bin\\Server\\Cds\\MENU.CDS"};
        for (const QString &arquivo : copiados)
            EXPECT_TRUE(files::fileExists(arquivo)) << arquivo.toStdString();
        EXPECT_EQ(files::readBytes(copiados[0]), files::readBytes(dm.DirHomol + "\\REL\\Vendas.qr2"));
        // A tree that had none of them: all new, nothing to back up.
        EXPECT_EQ(files::readLines(raiz + "Backup KMT\\0000000003\\NovosArquivos.Txt"), copiados);
        EXPECT_EQ(files::listDir(raiz + "Backup KMT\\0000000003", "*", files::EntryKind::Dirs), QStringList());
    }
    server::closeEmbedded();
    platform::settings::setFilePath(settingsFile);
    platform::setMounts(mounts);
    host::hostSettings() = hostSettings;
}
