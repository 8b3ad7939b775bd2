#include "treesenv.h"

#include "methods/embedded.h"
#include "tools/import.h"

#include "platform/files.h"
#include "platform/process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <zip.h>

namespace files = platform::files;

namespace {

QJsonObject produto(const char *codigo, const char *arvore, const char *nome, const QString &url)
{
    const QString n = QString::fromLatin1(nome);
    return {{"CDPRODUTO", codigo}, {"CDARVPROD", arvore}, {"NMPRODUTO", n}, {"release", "501023"},
            {"locations", QJsonArray{"", "C:\\Desenv\\" + n, url, "C:\\Hom\\" + n, "C:\\PreHom\\" + n + "\\",
                                     "C:\\Homologados\\" + n + "\\"}}};
}

QJsonObject liberado(const QString &path, const char *sequencia, const char *especifico = "N",
                     const char *destino = "")
{
    return {{"DSARQPATCH", path}, {"NRSEQPATCH", sequencia}, {"IDARQESPECLIE", especifico}, {"DSDIRDESTARQ", destino}};
}

QJsonObject modificado(const QString &path)
{
    return {{"DSDIRARQCHECKOU", path}, {"CDRELEASEARQANT", "1"}, {"CDRELEASEARQATU", "2"}};
}

QJsonObject solicitacao(const char *numero, const char *produtoCodigo, const QJsonArray &liberados,
                        const QJsonArray &modificados = {})
{
    return {{"CDFILIAL", "0001"},          {"NRSOLISERV", numero},         {"DSREFESOLI", "Solicitação"},
            {"CDPRODUTO", produtoCodigo}, {"releasedFiles", liberados}, {"modifiedFiles", modificados}};
}

QJsonObject grupoDe(const QString &codigo, const char *produtoCodigo, std::initializer_list<const char *> numeros)
{
    QJsonArray membros;
    for (const char *numero : numeros)
        membros.append(QJsonObject{{"CDFILIAL", "0001"}, {"NRSOLISERV", numero}});
    return {{"CDGRUPHOMOL", codigo}, {"DSGRUPHOMOL", "Grupo " + codigo}, {"CDPRODUTO", produtoCodigo},
            {"IDSTGRUPHOM", "003"},  {"CDRELEASEGHOM", "501023"},        {"requests", membros}};
}

QByteArray documento(const QString &url)
{
    const QString p501 = QStringLiteral("C:\\Desenv\\P501\\");
    const QJsonArray solicitacoes{
        solicitacao("501", "0000000021",
                    {liberado(p501 + "Srv\\Src\\Calc\\Calc.dpr", "001"), liberado(p501 + "Cli\\Src\\Tela\\Tela.dpr", "002"),
                     liberado(p501 + "Sql\\Oracle\\X1.sql", "003")}),
        solicitacao("502", "0000000021",
                    {liberado(p501 + "Cli\\Clientes\\ABC\\Pkg\\Comp.dpk", "001", "S"),
                     liberado(p501 + "Rel\\R2.qr2", "002", "S", "Ftp\\RelFtp\\Especial\\R2.QR2"),
                     liberado(p501 + "Rel\\Vendas.qr2", "003")}),
        solicitacao("503", "0000000021",
                    {liberado(p501 + "Sql\\Oracle\\Dup.sql", "001"), liberado(p501 + "Sql\\SqlServer\\Dup.sql", "002")}),
        solicitacao("504", "0000000021", {}),
        solicitacao("601", "0000000022",
                    {liberado("C:\\Desenv\\P1501\\web\\index.php", "001"),
                     liberado("C:\\Desenv\\P1501\\Zql\\Src\\Portal\\Portal.dpr", "002")}),
        // A path without its drive, as the development tools sometimes record it.
        solicitacao("701", "0000000023", {liberado("\\Desenv\\F301\\forms\\a.frm", "001")}),
        solicitacao("801", "0000000024", {},
                    {modificado("C:\\Desenv\\P502\\Srv\\A.pas"), modificado("C:\\Desenv\\P502\\Srv\\Novo.pas")}),
        solicitacao("802", "0000000024", {}, {modificado("C:\\Desenv\\P502\\Srv\\B.pas")}),
    };
    const QJsonObject doc{
        {"operators", QJsonArray{QJsonObject{{"CDOPERADOR", "0001"}, {"NMOPERADOR", "Ana"}, {"IDEDITAGRUPO", "S"}}}},
        {"products", QJsonArray{produto("0000000021", "P501", "P501", "file:///C:/svn/p501/trunk"),
                                produto("0000000022", "P1501", "P1501", "file:///C:/svn/p1501/trunk"),
                                produto("0000000023", "F301", "F301", "file:///C:/svn/f301/trunk"),
                                produto("0000000024", "P502", "P502", url)}},
        {"requests", solicitacoes},
        {"groups", QJsonArray{grupoDe(kCompilado, "0000000021", {"501", "502", "503", "504"}),
                              grupoDe(kWeb, "0000000022", {"601"}), grupoDe(kFormulario, "0000000023", {"701"}),
                              grupoDe(kRepositorio, "0000000024", {"801", "802"})}},
    };
    return QJsonDocument(doc).toJson();
}

}  // namespace

QString item(const char *numero) { return QStringLiteral("0001") + QString::fromLatin1(numero).rightJustified(10, u'0'); }

QString lista(std::initializer_list<const char *> numeros)
{
    QStringList itens;
    for (const char *numero : numeros)
        itens << item(numero);
    return itens.join(QStringLiteral("\r\n"));
}

void TreesTest::SetUp()
{
    DataModuleServerTest::SetUp();
    if (IsSkipped())
        return;
    urlHomologados = fileUrl(drive->nativePath(QStringLiteral("svn/hom"))) + QStringLiteral("/trunk");
    server::importDocument(db(), documento(urlHomologados));
}


TdmGrupSoliHom &TreesTest::grupo(const QString &codigo)
{
    dm->GetInitialData();
    EXPECT_TRUE(dm->LocalizaGrupo(codigo)) << codigo.toStdString();
    dm->GetLocations(dm->grupo(QStringLiteral("CDPRODUTO")));
    return *dm;
}

void TreesTest::alteraGrupo()
{
    dm->cdsGrupo->Edit();
    dm->cdsGrupo->FieldByName(QStringLiteral("DSGRUPHOMOL")).setAsString(QStringLiteral("alterado"));
}

void TreesTest::confereDescartado()
{
    EXPECT_EQ(dm->cdsGrupo->State(), dsBrowse);
    EXPECT_EQ(dm->cdsGrupo->ChangeCount(), 0);
    EXPECT_NE(dm->grupo(QStringLiteral("DSGRUPHOMOL")), QStringLiteral("alterado"));
}

void TreesTest::escreve(const QString &path, const QByteArray &content, const QDateTime &date)
{
    const qsizetype barra = path.lastIndexOf(u'\\');
    files::forceDirectories(path.left(barra));
    files::setReadOnly(path, false);
    files::writeBytes(path, content);
    if (date.isValid())
        files::setModificationTime(path, date);
}

QByteArray TreesTest::le(const QString &path) { return files::fileExists(path) ? files::readBytes(path) : QByteArray(); }

bool TreesTest::existe(const QString &path) { return files::fileExists(path); }

QString TreesTest::svn(const QString &arguments)
{
    int code = -1;
    const QString output =
        platform::Process::run(QStringLiteral("svn ") + arguments + QStringLiteral(" --non-interactive"), &code, 60000);
    EXPECT_EQ(code, 0) << arguments.toStdString() << "\n" << output.toStdString();
    return output;
}

void TreesTest::preparaCompilado()
{
    escreve(kH + "Srv\\Bin\\Calc.dll", "calc novo", kData);
    escreve(kH + "Cli\\Bin\\Tela.exe", "tela nova", kData);
    escreve(kH + "Sql\\Oracle\\X1.sql", "x1 novo");
    escreve(kH + "Cli\\Bin\\Comp.bpl", "comp novo", kData);
    escreve(kH + "Rel\\R2.qr2", "r2 novo");
    escreve(kH + "Rel\\Vendas.qr2", "vendas novo");
    escreve(kH + "Sql\\Oracle\\Dup.sql", "dup oracle novo");
    escreve(kH + "Sql\\SqlServer\\Dup.sql", "dup sqlserver novo");

    escreve(kP + "Bin\\Server\\CALC.dll", "calc antigo");
    files::setReadOnly(kP + "Bin\\Server\\CALC.dll", true);
    escreve(kP + "Bin\\Client\\TELA.exe", "tela antiga", kData.addDays(-10));
    escreve(kP + "Bin\\Client\\Clientes\\ABC\\Comp.bpl", "comp antigo");
    escreve(kP + "Ftp\\RelFtp\\VENDAS.QR2", "vendas antigo");
    escreve(kP + "Sql\\End_Conv\\Oracle\\DUP.SQL", "dup oracle antigo");
    escreve(kP + "Sql\\End_Conv\\SQLServer\\DUP.SQL", "dup sqlserver antigo");
}

void TreesTest::confere(std::initializer_list<Conteudo> casos)
{
    for (const Conteudo &caso : casos) {
        const QString caminho = QString::fromUtf8(caso.caminho);
        if (!caso.esperado)
            EXPECT_FALSE(existe(caminho)) << caso.caminho;
        else
            EXPECT_EQ(le(caminho), QByteArray(caso.esperado)) << caso.caminho;
    }
}

QStringList TreesTest::novos(const QString &area)
{
    const QString lista = area + QStringLiteral("NovosArquivos.Txt");
    return files::fileExists(lista) ? files::readLines(lista) : QStringList();
}

ArquivoZip abreZip(const QString &logical)
{
    ArquivoZip resultado;
    int erro = 0;
    zip_t *zip = zip_open(files::nativePath(logical).toLocal8Bit().constData(), ZIP_RDONLY, &erro);
    if (!zip)
        return resultado;
    resultado.aberto = true;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(zip, zip_uint64_t(i), 0, &st);
        resultado.nomes << QString::fromUtf8(st.name);
        if (i == 0) {
            resultado.data = QDateTime::fromSecsSinceEpoch(st.mtime);
            resultado.metodo = st.comp_method;
            resultado.conteudo.resize(qsizetype(st.size));
            zip_file_t *entrada = zip_fopen_index(zip, 0, 0);
            zip_fread(entrada, resultado.conteudo.data(), st.size);
            zip_fclose(entrada);
        }
    }
    zip_close(zip);
    return resultado;
}
