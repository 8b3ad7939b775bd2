#include "homologacaoenv.h"

#include "methods/embedded.h"
#include "tools/import.h"

#include "platform/files.h"

#include <QJsonDocument>

namespace files = platform::files;

QString item(const QString &numero) { return QStringLiteral("0001") + numero.rightJustified(10, u'0'); }

QJsonObject solicitacao(const QString &numero, const QString &fase, const QString &assunto)
{
    return {{"CDFILIAL", "0001"},    {"NRSOLISERV", numero},  {"DSREFESOLI", QStringLiteral("Solicitação ") + numero},
            {"CDPRODUTO", kProduto}, {"CDFASETRAM", fase},    {"CDASSUNTO", assunto},
            {"CDRELEASESOLI", "501023"}};
}

QJsonObject comModificados(QJsonObject solicitacao, const QStringList &caminhos, const QString &tarefa)
{
    QJsonArray arquivos;
    for (const QString &caminho : caminhos) {
        QJsonObject arquivo{{"DSDIRARQCHECKOU", caminho}, {"CDRELEASEARQANT", "1"}, {"CDRELEASEARQATU", "2"}};
        if (!tarefa.isEmpty()) {
            arquivo.insert("NRTAREFA", tarefa);
            arquivo.insert("NRPLATIVTARE", "00001");
        }
        arquivos.append(arquivo);
    }
    solicitacao.insert("modifiedFiles", arquivos);
    return solicitacao;
}

QJsonObject comLiberados(QJsonObject solicitacao, const QStringList &caminhos)
{
    QJsonArray arquivos;
    int sequencia = 0;
    for (const QString &caminho : caminhos)
        arquivos.append(QJsonObject{{"DSARQPATCH", caminho},
                                    {"NRSEQPATCH", QString::number(++sequencia).rightJustified(3, u'0')},
                                    {"CDVERPRODUTO", "5"}, {"CDRELVERPROD", "01"}, {"CDPATCHVERPR", "023"}});
    solicitacao.insert("releasedFiles", arquivos);
    return solicitacao;
}

QJsonObject membro(const QString &numero, const QString &decisao)
{
    auto flag = [&](const char *letra) { return decisao == QLatin1StringView(letra) ? "S" : "N"; };
    return {{"CDFILIAL", "0001"},
            {"NRSOLISERV", numero},
            {"IDHOMOLSOL", flag("H")},
            {"IDENCSOLPATCREG", flag("R")},
            {"IDRETSOLERROPRO", flag("E")}};
}

QJsonObject grupo(const QString &codigo, const QJsonArray &membros, const QString &release, const QString &fase)
{
    return {{"CDGRUPHOMOL", codigo}, {"DSGRUPHOMOL", QStringLiteral("Grupo ") + codigo.right(2)},
            {"CDPRODUTO", kProduto}, {"IDSTGRUPHOM", fase},
            {"CDRELEASEGHOM", release}, {"requests", membros}};
}

QJsonObject agrupamento(const QString &sequencia, const QStringList &numeros)
{
    QJsonArray membros;
    for (const QString &numero : numeros)
        membros.append(QJsonObject{{"CDFILIAL", "0001"}, {"NRSOLISERV", numero}});
    return {{"NRSEQAGRUPASOLI", sequencia}, {"members", membros}};
}

void HomologacaoTest::SetUp()
{
    DataModuleServerTest::SetUp();
    if (IsSkipped())
        return;
    for (const char *pasta : {"C:\\PreHom\\P501", "C:\\Homologados\\P501", "C:\\Hom\\P501", "C:\\Desenv\\P501"})
        files::forceDirectories(QString::fromLatin1(pasta));
}


void HomologacaoTest::importa(const QJsonArray &solicitacoes, const QJsonArray &grupos, const QJsonArray &agrupamentos,
                              const QString &release)
{
    QJsonArray assuntos;
    for (const QString &codigo : kAssuntos105 + QStringList{QStringLiteral("00012"), QStringLiteral("00020")})
        assuntos.append(QJsonObject{{"CDASSUNTO", codigo}, {"DSASSUNTO", QStringLiteral("Assunto ") + codigo}});
    const QJsonObject documento{
        {"operators", QJsonArray{QJsonObject{{"CDOPERADOR", "0001"}, {"NMOPERADOR", "Ana"}, {"IDEDITAGRUPO", "S"}},
                                 QJsonObject{{"CDOPERADOR", "DEV1"}, {"NMOPERADOR", "Carla"}}}},
        {"subjects", assuntos},
        {"products", QJsonArray{QJsonObject{
                         {"CDPRODUTO", kProduto}, {"CDARVPROD", "P501"}, {"NMPRODUTO", "Retaguarda"}, {"release", release},
                         {"locations", QJsonArray{"", "C:\\Desenv\\P501", "file:///C:/svn/hom/P501/trunk", "C:\\Hom\\P501",
                                                  "C:\\PreHom\\P501\\", "C:\\Homologados\\P501\\"}}}}},
        {"requests", solicitacoes},
        {"groupings", agrupamentos},
        {"groups", grupos},
    };
    server::importDocument(db(), QJsonDocument(documento).toJson());
}

void HomologacaoTest::carrega()
{
    dm->GetInitialData();
}

void HomologacaoTest::vaiPara(const QString &codigo)
{
    if (dm->cdsGrupo->IsEmpty())
        carrega();
    ASSERT_TRUE(dm->LocalizaGrupo(codigo)) << codigo.toStdString();
    // The group change of a group already current reads nothing: read it as the screen does.
    dm->cdsGrupoAfterScroll();
}

void HomologacaoTest::marca(const QStringList &codigos)
{
    for (const QString &codigo : codigos) {
        ASSERT_TRUE(dm->LocalizaGrupo(codigo)) << codigo.toStdString();
        dm->MarcaGrupo();
        ASSERT_EQ(dm->grupo(QStringLiteral("IDMARCADO")), "S") << codigo.toStdString();
    }
}

QString HomologacaoTest::faseDaSolicitacao(const QString &numero)
{
    return db().scalar(QStringLiteral("SELECT CDFASETRAM FROM SOLICITACAO WHERE NRSOLISERV = ?"), {numero.rightJustified(10, u'0')})
        .toString();
}

QString HomologacaoTest::responsavelDaSolicitacao(const QString &numero)
{
    return db().scalar(QStringLiteral("SELECT CDOPERRESP FROM SOLICITACAO WHERE NRSOLISERV = ?"), {numero.rightJustified(10, u'0')})
        .toString();
}

QString HomologacaoTest::ultimoAssunto(const QString &numero)
{
    return db().scalar(QStringLiteral("SELECT CDASSUNTOTRAM FROM HISTFASETRAM WHERE NRSOLISERV = ? ORDER BY NRSEQHIST DESC"),
                       {numero.rightJustified(10, u'0')})
        .toString();
}

QString HomologacaoTest::faseDoGrupo(const QString &codigo)
{
    return db().scalar(QStringLiteral("SELECT IDSTGRUPHOM FROM GRUPOHOMOL WHERE CDGRUPHOMOL = ?"), {codigo}).toString();
}

QString HomologacaoTest::releaseDoProduto()
{
    return ok(QStringLiteral("getReleaseProd"), args({kProduto})).toArray().at(0).toString();
}

QList<ScriptedHostUi::Shown> mensagens(const ScriptedHostUi &ui)
{
    QList<ScriptedHostUi::Shown> lista;
    for (const ScriptedHostUi::Shown &shown : ui.shown()) {
        if (shown.kind == ScriptedHostUi::Shown::Kind::Message)
            lista.append(shown);
    }
    return lista;
}
