#pragma once

// The distribution trees against real folders and repositories: a temporary folder mounted
// as C:\, the data module on the server embedded in the test process (a fresh database
// loaded through the import), a scripted HostUi that runs scripts without a window.
//
// Products and their locations (all below the mounted C:), each with its development
// working copy C:\Desenv\<tree>, homologated working copy C:\Hom\<tree>, pre-homologated
// tree C:\PreHom\<tree> and homologated tree C:\Homologados\<tree>:
//   0000000021 P501 compiled; 0000000022 P1501 web; 0000000023 F301 form settings;
//   0000000024 P502 compiled, C:\Hom\P502 a working copy of the repository C:\svn\hom.
// Groups: 0000000031 (P501, requests 501 to 504), 0000000032 (P1501, 601),
// 0000000033 (F301, 701), 0000000034 (P502, 801 and 802).

#include "server/datamoduleenv.h"
#include "support/testenv.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/hostui.h"

#include <QDateTime>

#include <memory>

inline const QString kCompilado = QStringLiteral("0000000031");
inline const QString kWeb = QStringLiteral("0000000032");
inline const QString kFormulario = QStringLiteral("0000000033");
inline const QString kRepositorio = QStringLiteral("0000000034");

// Group 0000000031's trees.
inline const QString kH = QStringLiteral("C:\\Hom\\P501\\");
inline const QString kP = QStringLiteral("C:\\PreHom\\P501\\");
inline const QString kD = QStringLiteral("C:\\Homologados\\P501\\");
inline const QString kArea = QStringLiteral("C:\\PreHom\\P501\\Backup KMT\\0000000031\\");
inline const QString kAreaHomologados = QStringLiteral("C:\\Homologados\\P501\\Backup KMT\\0000000031\\");
inline const QDateTime kData(QDate(2024, 3, 15), QTime(10, 20, 30));

// A file's expected content; nullptr: the file must not exist.
struct Conteudo {
    const char *caminho;
    const char *esperado;
};

// An archive as libzip reads it.
struct ArquivoZip {
    bool aberto = false;
    QStringList nomes;
    QByteArray conteudo;  // of the first entry
    QDateTime data;       // of the first entry
    int metodo = -1;
};
ArquivoZip abreZip(const QString &logical);

// Request list items: CDFILIAL followed by NRSOLISERV.
QString item(const char *numero);
QString lista(std::initializer_list<const char *> numeros);

class TreesTest : public DataModuleServerTest {
protected:
    void SetUp() override;

    // The data module standing on a group, with the locations of its product.
    TdmGrupSoliHom &grupo(const QString &codigo);

    // An edit of the current group left pending, and the check that a failed operation
    // discarded it.
    void alteraGrupo();
    void confereDescartado();

    // Files on the mounted drive, by logical path.
    void escreve(const QString &path, const QByteArray &content, const QDateTime &date = {});
    QByteArray le(const QString &path);
    bool existe(const QString &path);

    // The artefacts of group 0000000031 in the homologated working copy, and the previous
    // versions of six of its eight files in the pre-homologated tree (one read-only).
    void preparaCompilado();
    void confere(std::initializer_list<Conteudo> casos);
    QStringList novos(const QString &area);

    // Runs an svn command that must succeed; its output.
    QString svn(const QString &arguments);

    QString urlHomologados;  // file:// URL of the homologated repository of P502

};

