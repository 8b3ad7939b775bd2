// An advance is one operation the server keeps: stopped at any step boundary (as a kill
// would stop it) and run again as it was, it ends in the same state as a run that never
// stopped. The road of group 0000000001 from "001" to "006", then the homologation of
// group 0000000004 (a request homologated, one regenerated, one returned with error, three
// groups sent back), each transition run once to get its end state and then once per step
// boundary, on a copy of the workspace as it stood before the transition.

#include "demoenv.h"

#include "store/database.h"
#include "methods/datasets.h"
#include "methods/embedded.h"

#include "platform/process.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>

namespace {

// The lines only one of two states has, each marked with the side it is on.
std::string Diferencas(const QString &esperado, const QString &obtido)
{
    QStringList so = esperado.split(u'\n');
    QStringList sb = obtido.split(u'\n');
    QString texto;
    for (const QString &linha : esperado.split(u'\n')) {
        if (sb.removeOne(linha))
            so.removeOne(linha);
    }
    for (const QString &linha : std::as_const(so))
        texto += QStringLiteral("- ") + linha + u'\n';
    for (const QString &linha : std::as_const(sb))
        texto += QStringLiteral("+ ") + linha + u'\n';
    return texto.toStdString();
}

class OperacaoTest : public DemoWorkspaceTest {
protected:
    bool takesTheRoad() const override { return true; }

    struct Execucao {
        int saida = -1;
        QString texto;
    };

    // `homologa` on the workspace, as an operator runs it, with `parada` as the test's stop.
    Execucao homologa(const QStringList &comando, const QByteArray &parada = {})
    {
        QProcess processo;
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        if (!parada.isEmpty())
            ambiente.insert(QStringLiteral("HOMOLOGA_PARADA"), QString::fromLatin1(parada));
        processo.setProcessEnvironment(ambiente);
        processo.setProcessChannelMode(QProcess::MergedChannels);
        // Not inside the workspace, which the test puts back from its copy.
        processo.setWorkingDirectory(QDir::tempPath());
        processo.start(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa"),
                       QStringList{QStringLiteral("--config"), workspace.settingsFile} + comando);
        processo.closeWriteChannel();
        EXPECT_TRUE(processo.waitForFinished(300000));
        return {processo.exitCode(), QString::fromUtf8(processo.readAll())};
    }

    // The workspace folder as a whole, kept aside and put back in its own place (the
    // repositories and working copies know their paths).
    void guarda() { copia(workspace.root, guardado()); }
    void restaura()
    {
        soltaBanco();
        QDir::setCurrent(QDir::tempPath());
        QDir(workspace.root).removeRecursively();
        copia(guardado(), workspace.root);
    }
    QString guardado() const { return workspace.root + QStringLiteral(".guardado"); }
    static void copia(const QString &de, const QString &para)
    {
        QDir(para).removeRecursively();
        ASSERT_EQ(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), de, para}), 0);
    }
    void soltaBanco()
    {
        dm.reset();
        server::closeEmbedded();
    }

    // Everything an advance changes, as text: groups, requests, registrations, recorded
    // revisions, operations and leases, the homologated repository's revisions and tags, and
    // every file of the trees and working copies (times in names made neutral).
    QString estado()
    {
        soltaBanco();
        QStringList linhas;
        {
            server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
            db.ensureOpen();
            const char *consultas[] = {
                "SELECT CDGRUPHOMOL, IDSTGRUPHOM, CDRELEASEGHOM FROM GRUPOHOMOL ORDER BY 1",
                "SELECT CDGRUPHOMOL, CDFILIAL, NRSOLISERV, IDSTSOLIGRUP, IDHOMOLSOL, IDENCSOLPATCREG, IDRETSOLERROPRO "
                "FROM SOLIGRUPO ORDER BY 1, 2, 3",
                "SELECT CDFILIAL, NRSOLISERV, CDFASETRAM, CDOPERRESP, CDRELEASESOLI FROM SOLICITACAO ORDER BY 1, 2",
                "SELECT CDFILIAL, NRSOLISERV, DSARQCHAVE, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR FROM ARQPATCH "
                "ORDER BY 1, 2, 3",
                "SELECT CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR FROM PRODPATCH ORDER BY 1, 2, 3, 4",
                "SELECT CDGRUPHOMOL, DSARQCHAVE, NRREVANTARQSVN, NRREVATUARQSVN FROM VERSARQHOM ORDER BY 1, 2",
                "SELECT CDGRUPHOMOL, IDSTGRUPANT, IDSTGRUPNOVO, COUNT(*) FROM LOGTRAM GROUP BY 1, 2, 3 ORDER BY 1, 2, 3",
                "SELECT IDSITUACAO, COUNT(*) FROM OPERACAO GROUP BY 1 ORDER BY 1",
                "SELECT COUNT(*) FROM TRAVAGRUPO",
            };
            for (const char *consulta : consultas) {
                linhas << QString::fromLatin1(consulta).section(u' ', 0, 3);
                for (const QStringList &linha : server::queryRows(db, QString::fromLatin1(consulta), {}))
                    linhas << QStringLiteral("  ") + linha.join(u'|');
            }
        }
        const QString homologado = QStringLiteral("file:///C:/Repos/Homol");
        linhas << QStringLiteral("revisões: ") + svn(QStringLiteral("info --show-item revision ") + homologado).trimmed();
        linhas << QStringLiteral("tags:") << svn(QStringLiteral("ls -R %1/ERP/tags").arg(homologado)).split(u'\n');
        const QString raiz = workspace.root + QStringLiteral("/c");
        QStringList arquivos;
        QDirIterator it(raiz, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString caminho = it.next();
            const QString relativo = caminho.mid(raiz.size());
            if (relativo.contains(QStringLiteral("/.svn/")) || relativo.startsWith(QStringLiteral("/Repos/"))
                || relativo.contains(QStringLiteral("emp/"), Qt::CaseInsensitive) || relativo.startsWith(QStringLiteral("/subversion/")))
                continue;
            QFile arquivo(caminho);
            arquivo.open(QIODevice::ReadOnly);
            // An archive holds the times of its files, a compiled artefact the moment it was
            // built: their names are what a rerun must not change.
            static const QRegularExpression construidos(QStringLiteral("\\.(zip|exe|dll|bpl|dcp|res)$"),
                                                        QRegularExpression::CaseInsensitiveOption);
            const QByteArray conteudo = construidos.match(relativo).hasMatch() ? QByteArray() : arquivo.readAll();
            arquivos << relativo + u' ' + QString::fromLatin1(QCryptographicHash::hash(conteudo, QCryptographicHash::Md5).toHex());
        }
        static const QRegularExpression instantes(QStringLiteral("\\d{14}|\\d{8}-\\d{6}|\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"));
        // A patch generated again after its work was stopped attaches its files again under
        // the new generation's moment: the same files, in a folder of another moment.
        for (QString &arquivo : arquivos)
            arquivo.replace(instantes, QStringLiteral("<instante>"));
        arquivos.sort();
        arquivos.removeDuplicates();
        linhas << arquivos;
        return linhas.join(u'\n').replace(instantes, QStringLiteral("<instante>"));
    }

    // The steps of the operation the last run concluded.
    int passosDaUltimaOperacao()
    {
        soltaBanco();
        server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
        db.ensureOpen();
        return db
            .scalar(QStringLiteral("SELECT COUNT(*) FROM OPERACAOPASSO WHERE CDOPERACAO = (SELECT CDOPERACAO FROM OPERACAO "
                                   "ORDER BY DTINICIO DESC, ROWID DESC LIMIT 1)"))
            .toInt();
    }
};

TEST_F(OperacaoTest, AStopAtAnyStepBoundaryThenAPlainRerunEndsAsAnUninterruptedRun)
{
    struct Caso {
        const char *transicao;
        QStringList comando;
        std::function<void()> antes;
    };
    const QStringList grupo1{QStringLiteral("advance"), QStringLiteral("1"), QStringLiteral("--yes")};
    const Caso casos[] = {
        {"001 -> 002", grupo1, {}},
        {"002 -> 003", grupo1, {}},
        {"003 -> 004", grupo1, {}},
        {"004 -> 005", grupo1, {}},
        {"005 -> 006", grupo1, {}},
        // 1008 homologated (validated, independent), 1009 regenerated, 1010 returned with
        // error; closing group 4 sends back groups 1, 3 and 6 of the same release.
        {"006 -> 007",
         {QStringLiteral("advance"), QStringLiteral("4"), QStringLiteral("--yes"), QStringLiteral("--send-back")},
         [this] { verdict(QStringLiteral("0000001009"), QStringLiteral("regerar")); }},
    };
    for (const Caso &caso : casos) {
        SCOPED_TRACE(caso.transicao);
        if (caso.antes)
            caso.antes();
        soltaBanco();
        guarda();
        const Execucao inteira = homologa(caso.comando);
        ASSERT_EQ(inteira.saida, 0) << inteira.texto.toStdString();
        const QString esperado = estado();
        const int passos = passosDaUltimaOperacao();
        ASSERT_GT(passos, 0);
        // Stopped after each step but the last (which ends the run anyway), and after each
        // step's work before its writes.
        QList<QByteArray> paradas;
        for (int passo = 1; passo <= passos; ++passo) {
            paradas << QByteArray::number(passo) + '-';
            if (passo < passos)
                paradas << QByteArray::number(passo);
        }
        for (const QByteArray &parada : paradas) {
            SCOPED_TRACE(parada.constData());
            restaura();
            const Execucao parou = homologa(caso.comando, parada);
            ASSERT_EQ(parou.saida, 137) << parou.texto.toStdString();
            const Execucao segunda = homologa(caso.comando);
            ASSERT_EQ(segunda.saida, 0) << segunda.texto.toStdString();
            const QString obtido = estado();
            EXPECT_TRUE(obtido == esperado) << Diferencas(esperado, obtido);
        }
    }
    QDir(guardado()).removeRecursively();
}

// Ctrl-C stops the run at the end of the step under way: exit 130, the leases given back,
// the operation open; the same command then finishes it.
TEST_F(OperacaoTest, CtrlCStopsAtAStepBoundaryGivesTheLeasesBackAndTheRerunFinishes)
{
    const QStringList comando{QStringLiteral("advance"), QStringLiteral("1"), QStringLiteral("--yes")};
    const Execucao parou = homologa(comando, "int:1");
    EXPECT_EQ(parou.saida, 130) << parou.texto.toStdString();
    EXPECT_TRUE(parou.texto.contains(QStringLiteral("repita o mesmo comando"))) << parou.texto.toStdString();
    {
        soltaBanco();
        server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
        db.ensureOpen();
        EXPECT_EQ(db.scalar(QStringLiteral("SELECT COUNT(*) FROM TRAVAGRUPO")).toInt(), 0);
        EXPECT_EQ(db.scalar(QStringLiteral("SELECT COUNT(*) FROM OPERACAO WHERE IDSITUACAO = 'A'")).toInt(), 1);
    }
    // --check and another run say what is open, and where it stopped.
    const Execucao verificacao = homologa({QStringLiteral("advance"), QStringLiteral("1"), QStringLiteral("--check")});
    EXPECT_EQ(verificacao.saida, 0);
    EXPECT_TRUE(verificacao.texto.contains(QStringLiteral("parada no passo 2 de 2"))) << verificacao.texto.toStdString();
    const Execucao segunda = homologa(comando);
    ASSERT_EQ(segunda.saida, 0) << segunda.texto.toStdString();
    dm = openDataModule();
    EXPECT_EQ(phaseOnServer(QStringLiteral("0000000001")), "002");
}

}  // namespace
