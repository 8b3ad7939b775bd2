// Homologation of the marked groups: the outcome rule of a request, the independence test
// on the group's indexes, and the whole homologation on the embedded server.

#include "homologacaoenv.h"

#include "platform/files.h"
#include "promotion/prehomologados.h"
#include "promotion/reversao.h"
#include "workflow/homologacao.h"

#include <QJsonArray>

using Desfecho = Homologacao::Desfecho;

namespace {

const char *nome(Desfecho desfecho)
{
    switch (desfecho) {
    case Desfecho::Erro:
        return "Erro";
    case Desfecho::Regera:
        return "Regera";
    case Desfecho::Homol:
        return "Homol";
    case Desfecho::ForaDeFase:
        return "ForaDeFase";
    }
    return "?";
}

// Records the outcome operations in the order they run, and the closing and registration
// the homologation asks for, before doing them.
class HomologacaoGravada : public Homologacao {
public:
    using Homologacao::Homologacao;
    QStringList chamadas;

    void Homologa_Soli(const QString &grupo, const QString &lista) override
    {
        chamadas << QStringLiteral("Homol ") + grupo + u' ' + ItensDaLista(lista).join(u' ');
        Homologacao::Homologa_Soli(grupo, lista);
    }
    void Volta_Regera_Soli(const QString &grupo, const QString &lista) override
    {
        chamadas << QStringLiteral("Regera ") + grupo + u' ' + ItensDaLista(lista).join(u' ');
        Homologacao::Volta_Regera_Soli(grupo, lista);
    }
    void Volta_Soli_Erro(const QString &grupo, const QString &lista) override
    {
        chamadas << QStringLiteral("Erro ") + grupo + u' ' + ItensDaLista(lista).join(u' ');
        Homologacao::Volta_Soli_Erro(grupo, lista);
    }
    void Encerra_Grupos(QString &codigos) override
    {
        chamadas << QStringLiteral("Encerra ") + codigos;
        Homologacao::Encerra_Grupos(codigos);
    }
    void Atualiza_Release_Produto(const QString &produto, const QString &release) override
    {
        chamadas << QStringLiteral("Registra ") + produto + u' ' + release;
        Homologacao::Atualiza_Release_Produto(produto, release);
    }
};

}  // namespace

// ====================================================================== the outcome rule

TEST(DesfechoDaSolicitacao, FlagsFirstThenThePhase)
{
    struct Caso {
        const char *homologar, *regerar, *voltarErro, *status;
        bool independente;
        Desfecho esperado;
        bool perguntaIndependencia;
    };
    const Caso casos[] = {
        // A flag decides whatever the phase, and no independence test is made.
        {"S", "N", "N", "005", false, Desfecho::Homol, false},
        {"S", "N", "N", "003", false, Desfecho::Homol, false},
        {"N", "S", "N", "005", true, Desfecho::Regera, false},
        {"N", "N", "S", "005", true, Desfecho::Erro, false},
        {"S", "S", "N", "004", true, Desfecho::Homol, false},
        // A flag that is not "N" (nor "S") still takes the decision from the phase.
        {"", "N", "N", "005", true, Desfecho::Erro, false},
        // All three "N": the phase decides.
        {"N", "N", "N", "004", true, Desfecho::Erro, false},
        {"N", "N", "N", "005", true, Desfecho::Homol, true},
        {"N", "N", "N", "005", false, Desfecho::Regera, true},
        {"N", "N", "N", "007", true, Desfecho::Regera, false},
        // Any other phase is left out with a warning.
        {"N", "N", "N", "003", true, Desfecho::ForaDeFase, false},
        {"N", "N", "N", "006", true, Desfecho::ForaDeFase, false},
        {"N", "N", "N", "000", true, Desfecho::ForaDeFase, false},
        {"N", "N", "N", "001", true, Desfecho::ForaDeFase, false},
    };
    for (const Caso &c : casos) {
        bool perguntou = false;
        const Desfecho desfecho = Homologacao::DecideDesfecho(c.homologar, c.regerar, c.voltarErro, c.status, [&] {
            perguntou = true;
            return c.independente;
        });
        const std::string linha = std::string(c.homologar) + c.regerar + c.voltarErro + " " + c.status;
        EXPECT_STREQ(nome(desfecho), nome(c.esperado)) << linha;
        EXPECT_EQ(perguntou, c.perguntaIndependencia) << linha;
    }
}

TEST(DesfechoDaSolicitacao, ListsAndKeys)
{
    EXPECT_EQ(Homologacao::ChavesDeCheckout("00010000012345\r\n00010000012346\r\n"), "_0000012345_0000012346_");
    EXPECT_EQ(Homologacao::ChavesDeCheckout(""), "_");
    EXPECT_EQ(Homologacao::ItensDaLista("00010000000001\r\n\r\n00020000000002\n"),
              QStringList({"00010000000001", "00020000000002"}));
    EXPECT_EQ(Homologacao::AssuntoDaHomologacao(true), "105");
    EXPECT_EQ(Homologacao::AssuntoDaHomologacao(false), "205");
}

// ====================================================================== independence

TEST_F(HomologacaoTest, IndependenceFollowsSharedFilesAndGroupings)
{
    const QString comum = QStringLiteral("C:\\Desenv\\P501\\Srv\\Comum.pas");
    importa(
        {
            // 11 and 12, both without error, share a modified file.
            comModificados(solicitacao("11", "080"), {comum, "C:\\Desenv\\P501\\Srv\\Onze.pas"}),
            comModificados(solicitacao("12", "080"), {comum}),
            // 13 shares a file with 14, which was tested with error (the path in another case).
            comModificados(solicitacao("13", "080"), {"C:\\Desenv\\P501\\Srv\\Treze.pas"}),
            comModificados(solicitacao("14", "070"), {"c:\\desenv\\p501\\srv\\TREZE.PAS"}),
            // 15 stands alone: its files are its own.
            comLiberados(comModificados(solicitacao("15", "080"), {"C:\\Desenv\\P501\\Srv\\Quinze.pas"}),
                         {"\\Desenv\\P501\\Srv\\Quinze.dpr"}),
            // 16 is grouped with 17, not yet tested.
            solicitacao("16", "080"),
            solicitacao("17", "060"),
            // 18 generates a file that 19, waiting for regeneration, generates too.
            comLiberados(solicitacao("18", "080"), {"\\Desenv\\P501\\Srv\\Gera.dpr"}),
            comLiberados(solicitacao("19", "090"), {"\\Desenv\\P501\\Srv\\gera.DPR"}),
            // 20 shares a file with 21, already homologated, and is grouped with 22 alone.
            comModificados(solicitacao("20", "080"), {"C:\\Desenv\\P501\\Srv\\Vinte.pas"}),
            comModificados(solicitacao("21", "100"), {"C:\\Desenv\\P501\\Srv\\Vinte.pas"}),
            solicitacao("22", "080"),
            // 23, tested with error, has its file alone: nothing else holds it back.
            comModificados(solicitacao("23", "070"), {"C:\\Desenv\\P501\\Srv\\Vinte e tres.pas"}),
        },
        {grupo("0000000012", {membro("11"), membro("12"), membro("13"), membro("14"), membro("15"), membro("16"),
                              membro("17"), membro("18"), membro("19"), membro("20"), membro("21"), membro("22"), membro("23")})},
        {agrupamento("0000000001", {"16", "17"}), agrupamento("0000000002", {"20", "22"}),
         agrupamento("0000000003", {"15"})});
    vaiPara("0000000012");

    Homologacao homologacao(*dm);
    const struct {
        const char *numero;
        bool independente;
    } casos[] = {{"11", true},  {"12", true},  {"13", false}, {"15", true},
                 {"16", false}, {"18", false}, {"20", true},  {"22", true}, {"23", true}};
    for (const auto &c : casos)
        EXPECT_EQ(homologacao.Soli_Independente("0000000012", "0001", QString(c.numero).rightJustified(10, u'0')),
                  c.independente)
            << c.numero;
    // The group's lists were read and indexed once for all these tests.
    EXPECT_EQ(homologacao.indicesMontados(), 1);

    const struct {
        const char *numero;
        bool ok;
    } validadas[] = {{"11", true}, {"14", false}, {"17", false}, {"19", false}, {"21", true}, {"99", false}};
    for (const auto &c : validadas)
        EXPECT_EQ(homologacao.Soli_OK("0001", QString(c.numero).rightJustified(10, u'0')), c.ok) << c.numero;
}

// ====================================================================== the whole homologation

TEST_F(HomologacaoTest, MarkedGroupsAreHomologatedSentBackAndClosed)
{
    const QString comum = QStringLiteral("C:\\Desenv\\P501\\Srv\\Comum.pas");
    importa(
        {
            comModificados(solicitacao("31", "080", "00010"), {comum}, "0000000031"),
            comModificados(solicitacao("32", "080", "00020"), {comum}),
            comModificados(solicitacao("33", "070"), {"C:\\Desenv\\P501\\Srv\\Erro.pas"}, "0000000033"),
            comModificados(solicitacao("34", "080"), {"C:\\Desenv\\P501\\Srv\\ERRO.pas"}, "0000000034"),
            solicitacao("35", "090"),
            solicitacao("36", "060"),
            solicitacao("37", "060", "00104"),
            solicitacao("41", "080"),
            solicitacao("51", "080"),
        },
        {grupo("0000000012", {membro("31"), membro("32"), membro("33"), membro("34"), membro("35"), membro("36"),
                              membro("37", "H")}),
         grupo("0000000013", {membro("41", "E")}),
         // Of the same release, not marked: the closing sends it back to the start.
         grupo("0000000014", {membro("51")})});
    // Check-out registrations of the requests' activities.
    for (const char *tarefa : {"0000000031", "0000000033", "0000000034"})
        db().exec(QStringLiteral("INSERT INTO ARQCHECKOUTATIV (NRTAREFA, NRPLATIVTARE, NRSEQARQ, DSDIRARQCHECKOU, DSARQCHAVE, "
                                 "DTREGISTRO) VALUES (?, '00001', 1, 'C:\\X.pas', 'C:\\X.PAS', '2026-01-01T00:00:00')"),
                  {QString::fromLatin1(tarefa)});
    carrega();
    marca({"0000000012", "0000000013"});

    HomologacaoGravada homologacao(*dm);
    homologacao.Homologa_Grupos_Selecionados();

    EXPECT_EQ(homologacao.chamadas,
              QStringList({"Erro 0000000012 00010000000033", "Regera 0000000012 00010000000034 00010000000035",
                           "Homol 0000000012 00010000000031 00010000000032 00010000000037",
                           "Erro 0000000013 00010000000041", "Encerra 0000000012,0000000013,",
                           "Registra 0000000041 501023"}));
    // The request under test without a decision is left out, with the warning.
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_EQ(ui.messages()[0],
              "A solicitação \"0000000036 - Solicitação 36\" já se encontra com status indicando que já foi homologada e "
              "não será levada em consideração durante a homologação do grupo de solicitações \"0000000012 - Grupo 12\".");
    EXPECT_EQ(mensagens(ui)[0].type, DialogType::Warning);
    EXPECT_FALSE(ui.busyVisible());

    // Homologated: moved on with the subject of their own subject code.
    for (const char *numero : {"31", "32", "37"})
        EXPECT_EQ(faseDaSolicitacao(numero), "100") << numero;
    EXPECT_EQ(ultimoAssunto("31"), "105");
    EXPECT_EQ(ultimoAssunto("32"), "205");
    EXPECT_EQ(ultimoAssunto("37"), "105");
    EXPECT_EQ(db().scalar("SELECT CDRELEASESOLI FROM SOLICITACAO WHERE NRSOLISERV = '0000000031'").toString(), "");
    // Sent back for regeneration, to the test responsible; returned with error, to development.
    for (const char *numero : {"34", "35"}) {
        EXPECT_EQ(faseDaSolicitacao(numero), "090") << numero;
        EXPECT_EQ(responsavelDaSolicitacao(numero), "000000000994") << numero;
        EXPECT_EQ(ultimoAssunto(numero), "072") << numero;
    }
    for (const char *numero : {"33", "41"}) {
        EXPECT_EQ(faseDaSolicitacao(numero), "010") << numero;
        EXPECT_EQ(responsavelDaSolicitacao(numero), "DESENV") << numero;
    }
    EXPECT_EQ(faseDaSolicitacao("36"), "060");
    // The check-outs of the requests sent back end; those of a homologated one stay.
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM ARQCHECKOUTATIV WHERE NRTAREFA IN ('0000000033', '0000000034')").toInt(), 0);
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM ARQCHECKOUTATIV WHERE NRTAREFA = '0000000031'").toInt(), 1);

    EXPECT_EQ(faseDoGrupo("0000000012"), "007");
    EXPECT_EQ(faseDoGrupo("0000000013"), "007");
    EXPECT_EQ(faseDoGrupo("0000000014"), "001");
    EXPECT_EQ(releaseDoProduto(), "501024");
}

TEST_F(HomologacaoTest, NothingHomologatedRegistersNoPatch)
{
    importa({solicitacao("61", "070"), solicitacao("62", "080")},
            {grupo("0000000012", {membro("61"), membro("62", "R")})});
    carrega();
    marca({"0000000012"});

    HomologacaoGravada homologacao(*dm);
    homologacao.Homologa_Grupos_Selecionados();

    EXPECT_EQ(homologacao.chamadas, QStringList({"Erro 0000000012 00010000000061", "Regera 0000000012 00010000000062",
                                                 "Encerra 0000000012,"}));
    EXPECT_EQ(faseDoGrupo("0000000012"), "007");
    EXPECT_EQ(releaseDoProduto(), "501023");
}

TEST_F(HomologacaoTest, WithoutMarkedGroupsNothingIsClosed)
{
    importa({solicitacao("61", "080")}, {grupo("0000000012", {membro("61")})});
    carrega();

    HomologacaoGravada homologacao(*dm);
    homologacao.Homologa_Grupos_Selecionados();

    EXPECT_TRUE(homologacao.chamadas.isEmpty()) << homologacao.chamadas.join("; ").toStdString();
    EXPECT_EQ(faseDoGrupo("0000000012"), "006");
    EXPECT_EQ(faseDaSolicitacao("61"), "080");
}

TEST_F(HomologacaoTest, SubjectCodesChooseTheHomologationSubject)
{
    QJsonArray solicitacoes, membros;
    QMap<QString, QString> esperado;
    int numero = 100;
    for (const QString &assunto : kAssuntos105 + QStringList{"00012", "00020", ""}) {
        const QString n = QString::number(++numero);
        solicitacoes.append(solicitacao(n, "080", assunto));
        membros.append(membro(n, "H"));
        esperado.insert(n, kAssuntos105.contains(assunto) ? "105" : "205");
    }
    importa(solicitacoes, {grupo("0000000012", membros)});
    carrega();
    marca({"0000000012"});

    Homologacao(*dm).Homologa_Grupos_Selecionados();

    ASSERT_EQ(esperado.size(), 22);
    for (auto it = esperado.cbegin(); it != esperado.cend(); ++it)
        EXPECT_EQ(ultimoAssunto(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(HomologacaoTest, ReleaseThatCannotGoOnIsRefusedBeforeAnyRequestMoves)
{
    importa({solicitacao("71", "070"), solicitacao("72", "080")},
            {grupo("0000000012", {membro("71"), membro("72", "H")}, "999999")}, {}, "999999");
    carrega();
    marca({"0000000012"});

    HomologacaoGravada homologacao(*dm);
    const QList<QString> mensagens = interrompe(ui, [&] { homologacao.Homologa_Grupos_Selecionados(); });

    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].contains("9.99.999")) << mensagens[0].toStdString();
    EXPECT_TRUE(homologacao.chamadas.isEmpty()) << homologacao.chamadas.join("; ").toStdString();
    EXPECT_EQ(faseDaSolicitacao("71"), "070");
    EXPECT_EQ(faseDaSolicitacao("72"), "080");
    EXPECT_EQ(faseDoGrupo("0000000012"), "006");
    // The marks go with the failed operation; the animation is hidden.
    EXPECT_EQ(dm->cdsGrupo->ChangeCount(), 0);
    EXPECT_FALSE(ui.busyVisible());
    EXPECT_FALSE(dm->cdsGrupo->ControlsDisabled());
}

TEST_F(HomologacaoTest, AFailedMoveStopsTheHomologationAndClosesNoGroup)
{
    namespace files = platform::files;
    importa({solicitacao("81", "080"), comLiberados(solicitacao("82", "080"), {"C:\\Desenv\\P501\\SQL\\ORACLE\\X3.sql"})},
            {grupo("0000000012", {membro("81", "H")}), grupo("0000000013", {membro("82", "H")})});
    const QString oracle = QStringLiteral("\\Sql\\End_Conv\\Oracle\\");
    files::forceDirectories("C:\\PreHom\\P501" + oracle);
    files::forceDirectories("C:\\Homologados\\P501" + oracle);
    files::writeBytes("C:\\PreHom\\P501" + oracle + "X3.SQL", "x3 testado");
    files::writeBytes("C:\\Homologados\\P501" + oracle + "X3.SQL", "x3 homologado antes");
    carrega();
    marca({"0000000012", "0000000013"});
    // The second group's request no longer belongs to the group's product on the server: its
    // files cannot be released.
    db().exec("UPDATE SOLICITACAO SET CDPRODUTO = '0000000099' WHERE NRSOLISERV = '0000000082'");

    HomologacaoGravada homologacao(*dm);
    const QList<QString> mensagens = interrompe(ui, [&] { homologacao.Homologa_Grupos_Selecionados(); });

    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].contains("0000000082")) << mensagens[0].toStdString();
    // The first group's work stays done; no group is closed and nothing is registered.
    EXPECT_EQ(faseDaSolicitacao("81"), "100");
    EXPECT_EQ(faseDoGrupo("0000000012"), "006");
    EXPECT_EQ(faseDoGrupo("0000000013"), "006");
    EXPECT_FALSE(homologacao.chamadas.join(u';').contains("Encerra"));
    EXPECT_EQ(releaseDoProduto(), "501023");
    EXPECT_FALSE(ui.busyVisible());
    EXPECT_EQ(dm->cdsSoli->Filter(), "");
    // The homologated tree was updated but the request was not moved on: the backup of what
    // the update replaced stays for whoever restores the tree.
    EXPECT_EQ(files::readBytes("C:\\Homologados\\P501" + oracle + "X3.SQL"), "x3 testado");
    EXPECT_EQ(files::readBytes("C:\\Homologados\\P501\\Backup KMT\\0000000013\\00010000000082" + oracle + "X3.SQL"),
              "x3 homologado antes");
    EXPECT_FALSE(files::dirExists("C:\\Homologados\\P501\\Backup KMT\\0000000012")) << "the group moved on";
}

// Closing a group sends the other group of its release back to "001". That group runs the
// road again from a clean start: its files lose the version they were generated for (the
// check of versions lets it advance), the revisions recorded before its transfer and its
// backup area are set aside under the name of the ended run, and a rollback after its new
// copy restores what the tree held when the new run started.
TEST_F(HomologacaoTest, AGroupSentBackStartsItsNextRunClean)
{
    namespace files = platform::files;
    importa({solicitacao("91", "080"), comLiberados(solicitacao("95", "080"), {"C:\\Desenv\\P501\\SQL\\ORACLE\\X5.sql"})},
            {grupo("0000000012", {membro("91")}), grupo("0000000014", {membro("95")})});
    db().exec("UPDATE ARQPATCH SET CDRELVERPROD = '00' WHERE NRSOLISERV = '0000000095'");
    db().exec("INSERT INTO VERSARQHOM (CDGRUPHOMOL, DSARQSVNHOMOL, DSARQCHAVE, NRREVANTARQSVN, NRREVATUARQSVN) "
              "VALUES ('0000000014', 'C:\\Hom\\P501\\SQL\\ORACLE\\X5.sql', 'C:\\HOM\\P501\\SQL\\ORACLE\\X5.SQL', '7', '8')");
    const QString x5 = QStringLiteral("Sql\\End_Conv\\Oracle\\X5.SQL");
    const QString area = QStringLiteral("C:\\PreHom\\P501\\Backup KMT\\0000000014");
    files::forceDirectories(area + "\\00010000000095\\Sql\\End_Conv\\Oracle");
    files::writeBytes(area + "\\00010000000095\\" + x5, "antes da primeira execução");
    files::forceDirectories("C:\\PreHom\\P501\\Sql\\End_Conv\\Oracle");
    files::writeBytes("C:\\PreHom\\P501\\" + x5, "mudado por outro grupo depois");
    const auto verificaArquivos = [&] {
        return ok("GetVerificaArquivos", {"0000000014", kProduto}).toObject().value("rows").toArray().size();
    };
    ASSERT_EQ(verificaArquivos(), 1) << "generated for another version: refused at 001";
    carrega();
    marca({"0000000012"});

    Homologacao(*dm).Homologa_Grupos_Selecionados();

    EXPECT_EQ(faseDoGrupo("0000000014"), "001");
    EXPECT_EQ(verificaArquivos(), 0);
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM VERSARQHOM WHERE CDGRUPHOMOL = '0000000014'").toInt(), 0);
    EXPECT_EQ(db().scalar("SELECT NMEXECUCAO || '/' || NRREVANTARQSVN FROM VERSARQHOMENC WHERE CDGRUPHOMOL = '0000000014'")
                  .toString()
                  .section(u'_', 0, 0),
              "501023");
    EXPECT_FALSE(files::dirExists(area));
    const QStringList encerradas = files::listDir("C:\\PreHom\\P501\\Backup KMT\\Encerrados");
    ASSERT_EQ(encerradas.size(), 1);
    EXPECT_TRUE(encerradas[0].startsWith("0000000014_501023_")) << encerradas[0].toStdString();
    EXPECT_EQ(files::readBytes("C:\\PreHom\\P501\\Backup KMT\\Encerrados\\" + encerradas[0] + "\\00010000000095\\" + x5),
              "antes da primeira execução");

    // The new run's copy, then a rollback of its request.
    files::forceDirectories("C:\\Hom\\P501\\SQL\\ORACLE");
    files::writeBytes("C:\\Hom\\P501\\SQL\\ORACLE\\X5.sql", "nova execução");
    vaiPara("0000000014");
    dm->GetLocations(kProduto);
    PreHomologados(*dm).AtualizaPorFamilia();
    ASSERT_EQ(files::readBytes("C:\\PreHom\\P501\\" + x5), "nova execução");
    Reversao(*dm).Volta_Backup_Pre_Homologados("0000000014", item("95"));
    EXPECT_EQ(files::readBytes("C:\\PreHom\\P501\\" + x5), "mudado por outro grupo depois");
}

TEST_F(HomologacaoTest, FilesGoIntoTheHomologatedTreeOrBackToThePreHomologatedOne)
{
    namespace files = platform::files;
    importa({comLiberados(solicitacao("91", "080"), {"C:\\Desenv\\P501\\SQL\\ORACLE\\X1.sql"}),
             comLiberados(solicitacao("92", "090"), {"C:\\Desenv\\P501\\SQL\\ORACLE\\X2.sql"})},
            {grupo("0000000012", {membro("91"), membro("92")})});
    const QString oracle = QStringLiteral("\\Sql\\End_Conv\\Oracle\\");
    files::forceDirectories("C:\\PreHom\\P501" + oracle);
    files::forceDirectories("C:\\Homologados\\P501" + oracle);
    files::writeBytes("C:\\PreHom\\P501" + oracle + "X1.SQL", "homologado agora");
    files::writeBytes("C:\\Homologados\\P501" + oracle + "X1.SQL", "homologado antes");
    // The generated X2 and the version it replaced, kept by the pre-homologated copy.
    files::writeBytes("C:\\PreHom\\P501" + oracle + "X2.SQL", "gerado para teste");
    const QString backup = QStringLiteral("C:\\PreHom\\P501\\Backup KMT\\0000000012\\00010000000092\\");
    files::forceDirectories(backup);
    files::writeBytes(backup + "X2.SQL", "anterior");
    carrega();
    marca({"0000000012"});

    Homologacao(*dm).Homologa_Grupos_Selecionados();

    EXPECT_EQ(files::readBytes("C:\\Homologados\\P501" + oracle + "X1.SQL"), "homologado agora");
    EXPECT_FALSE(files::dirExists("C:\\Homologados\\P501\\Backup KMT\\0000000012"));
    EXPECT_EQ(files::readBytes("C:\\PreHom\\P501" + oracle + "X2.SQL"), "anterior");
    EXPECT_FALSE(files::fileExists("C:\\Homologados\\P501" + oracle + "X2.SQL"));
    EXPECT_EQ(faseDaSolicitacao("91"), "100");
    EXPECT_EQ(faseDaSolicitacao("92"), "090");
    EXPECT_EQ(faseDoGrupo("0000000012"), "007");
}
