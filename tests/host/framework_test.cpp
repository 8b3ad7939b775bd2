#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostsettings.h"
#include "host/messages.h"
#include "host/operatortext.h"
#include "host/services.h"
#include "platform/paths.h"
#include "platform/settings.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A scripted HostUi installed for one test.
struct ScriptedUi {
    ScriptedHostUi ui;
    HostUiScope scope{ui};
};

using packet::FieldType;

void fillRequests(Dataset &dataset)
{
    dataset.setFields({{"NRSOLISERV", FieldType::String, 10, "Número"}, {"DSREFESOLI", FieldType::String, 60, "Referência"}});
    packet::Packet data;
    data.fields = dataset.packetFields();
    data.rows = {{QString("0000000010"), QString("Nota fiscal eletrônica")},
                 {QString("0000000011"), QString("Folha de pagamento")},
                 {QString("0000000012"), QString("Nota de débito")}};
    dataset.setData(data);
}

}  // namespace

TEST(Messages, TableLookupFormattingAndQuestions)
{
    TMessages table({"Excl|Confirma exclusão?", "SOLI_JA|Inclusão não permitida.\r\n\r\nNo grupo \"%s - %s\"",
                     "CONT|%d de %d (100%%)", "sem barra", "Excl|duplicada", "VAZIO|"});
    EXPECT_EQ(table.Msg("Excl"), "Confirma exclusão?") << "the first entry of a key wins";
    EXPECT_EQ(table.Msg("VAZIO"), "");
    EXPECT_TRUE(table.contains("VAZIO"));
    EXPECT_EQ(table.Msg("NAO_HA"), "<NAO_HA>");
    EXPECT_EQ(table.keys(), QStringList({"Excl", "SOLI_JA", "CONT", "Excl", "VAZIO"}));
    EXPECT_EQ(table.Msg("SOLI_JA", {"0000000001", "Fiscal"}),
              "Inclusão não permitida.\r\n\r\nNo grupo \"0000000001 - Fiscal\"");
    EXPECT_EQ(table.Msg("CONT", {3, "12"}), "3 de 12 (100%)");
    EXPECT_EQ(Format("%s e %s", {"um"}), "um e %s") << "placeholders without a value stay";
    EXPECT_EQ(Format("100%", {}), "100%");
    EXPECT_EQ(Format("%x %s", {"a"}), "%x a");

    ScriptedUi scripted;
    scripted.ui.answer(mbNo);
    EXPECT_EQ(table.ShowMsg("Excl", DialogType::Confirmation, mbYes | mbNo), mbNo);
    EXPECT_EQ(table.ShowMsg("SOLI_JA", {"1", "G"}, DialogType::Error, mbOK), mbOK);
    ASSERT_EQ(scripted.ui.shown().size(), 2);
    EXPECT_EQ(scripted.ui.shown()[0].text, "Confirma exclusão?");
    EXPECT_EQ(scripted.ui.shown()[0].type, DialogType::Confirmation);
    EXPECT_EQ(scripted.ui.shown()[0].buttons, mbYes | mbNo);
    EXPECT_EQ(scripted.ui.shown()[1].text, "Inclusão não permitida.\r\n\r\nNo grupo \"1 - G\"");
}

TEST(Guard, AbortIsSilentOtherFailuresAreShown)
{
    ScriptedUi scripted;
    EXPECT_TRUE(host::runGuarded([] {}));

    // A failure takes down what the failing operation left up, and only that.
    scripted.ui.showBusy("Tramitando...");
    EXPECT_FALSE(host::runGuarded([] {
        hostUi().showBusy("Recebendo dados do servidor...");
        hostUi().showBusy("Gravando...");
        Abort();
    }));
    EXPECT_TRUE(scripted.ui.messages().isEmpty()) << "the silent stop shows nothing";
    EXPECT_EQ(scripted.ui.busyDepth(), 1);
    scripted.ui.hideBusy();
    EXPECT_FALSE(scripted.ui.busyVisible());

    EXPECT_FALSE(host::runGuarded([] { throw EHomologa("Produto inválido."); }));
    EXPECT_FALSE(host::runGuarded([] { throw platform::PlatformError("Caminho fora das montagens: Z:\\x"); }));
    EXPECT_FALSE(host::runGuarded([] { throw std::runtime_error("falha qualquer"); }));
    EXPECT_FALSE(host::runGuarded([] { throw 42; }));
    EXPECT_EQ(scripted.ui.messages(), QStringList({"Produto inválido.", "Caminho fora das montagens: Z:\\x",
                                                   "falha qualquer", "Erro inesperado."}));
    for (const auto &shown : scripted.ui.shown()) {
        if (shown.kind == ScriptedHostUi::Shown::Kind::Message) {
            EXPECT_EQ(shown.type, DialogType::Error);
        }
    }

    // MensErro with the flag shows and then stops silently; without it, it only shows.
    scripted.ui.clear();
    int reached = 0;
    EXPECT_FALSE(host::runGuarded([&] {
        Consiste::MensErro("Nome do grupo deve ser informado.", true);
        ++reached;
    }));
    EXPECT_TRUE(host::runGuarded([&] {
        Consiste::MensErro("Só um aviso.", false);
        ++reached;
    }));
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(scripted.ui.messages(), QStringList({"Nome do grupo deve ser informado.", "Só um aviso."}));

    // A slot made with guarded() never lets an exception out.
    auto slot = host::guarded([] { throw EHomologa("no slot"); });
    EXPECT_NO_THROW(slot());
    EXPECT_EQ(scripted.ui.messages().last(), "no slot");
}

TEST(Consiste, TextHelpers)
{
    EXPECT_EQ(Consiste::Ajusta("2", 3), "002");
    EXPECT_EQ(Consiste::Ajusta(" 123 ", 10), "0000000123");
    EXPECT_EQ(Consiste::Ajusta("12345", 3), "12345");
    EXPECT_TRUE(Consiste::EmptyString(""));
    EXPECT_FALSE(Consiste::EmptyString(" "));
    EXPECT_EQ(Consiste::AllTrim("  a b  "), "a b");
    EXPECT_EQ(Consiste::iif(true, "S", "N"), "S");
    EXPECT_EQ(Consiste::iif(false, 1, 2), 2);
    // The position search: 1-based, 0 when absent, and an empty text is never found.
    EXPECT_EQ(Consiste::Pos("b", "abcb"), 2);
    EXPECT_EQ(Consiste::Pos("x", "abc"), 0);
    EXPECT_EQ(Consiste::Pos("", "abc"), 0);
    EXPECT_EQ(Consiste::Pos("B", "abc", Qt::CaseInsensitive), 2);
    EXPECT_FALSE(Consiste::Contem("C:\\a.pas - erro\r\n", ""));
    EXPECT_TRUE(Consiste::Contem("C:\\a.pas - erro\r\n", "C:\\a.pas"));
}

TEST(ScriptedHostUi, QueuedAnswersPickListsAndFindDialogs)
{
    ScriptedUi scripted;
    ScriptedHostUi &ui = scripted.ui;
    ui.answer(mbNo);
    ui.answer(mbYes);
    EXPECT_EQ(ui.showMessage("primeira?", DialogType::Confirmation, mbYes | mbNo), mbNo);
    EXPECT_EQ(ui.showMessage("aviso", DialogType::Information, mbOK), mbOK) << "an OK box takes no queued answer";
    EXPECT_EQ(ui.showMessage("segunda?", DialogType::Confirmation, mbYes | mbNo), mbYes);
    ui.setDefaultAnswer(mbNo);
    EXPECT_EQ(ui.showMessage("terceira?", DialogType::Warning, mbYes | mbNo), mbNo);
    Dberros::ShowDetailError("Erro de release", "\r Solicitação: 1");
    EXPECT_EQ(ui.shown().last().kind, ScriptedHostUi::Shown::Kind::DetailError);
    EXPECT_EQ(ui.shown().last().detail, "\r Solicitação: 1");

    Showavi::ActiveShowAvi(nullptr, 1, "Atualizando dados no servidor...");
    EXPECT_TRUE(ui.busyVisible());
    Showavi::DeactiveShowAvi();
    EXPECT_FALSE(ui.busyVisible());
    Showavi::ActiveShowAvi(nullptr, 0, "ignorado");
    EXPECT_EQ(ui.shown().last().text, "") << "kind 0 has no caption";
    Showavi::DeactiveShowAvi();
    try {
        Showavi::Scope busy("Recebendo dados do servidor...");
        EXPECT_TRUE(ui.busyVisible());
        Abort();
    } catch (const EAbort &) {
    }
    EXPECT_FALSE(ui.busyVisible()) << "the scope hides the animation on the failure path";

    // Pick lists: a chosen row, a cancel, no answer at all, a value found nowhere.
    Dataset requests("cdsSoliDisp");
    fillRequests(requests);
    ui.answerPick("NRSOLISERV", "0000000011");
    EXPECT_TRUE(Pesquisa::Pesquisar(requests, "Solicitação", false, true));
    EXPECT_EQ(requests.FieldByName("DSREFESOLI").AsString(), "Folha de pagamento");
    EXPECT_EQ(ui.shown().last().kind, ScriptedHostUi::Shown::Kind::PickList);
    EXPECT_EQ(ui.shown().last().text, "Solicitação");
    ui.answerPickCancel();
    EXPECT_FALSE(Pesquisa::Pesquisar(requests, "Solicitação"));
    EXPECT_FALSE(Pesquisa::Pesquisar(requests, "Solicitação"));
    ui.answerPick("NRSOLISERV", "0000000099");
    EXPECT_FALSE(Pesquisa::Pesquisar(requests, "Solicitação"));
    EXPECT_EQ(requests.RecNo(), 2);
    EXPECT_THROW(Pesquisa::Pesquisar(requests, "Solicitação", true), EHomologa);
    EXPECT_THROW(Pesquisa::Pesquisar(static_cast<TDataSource *>(nullptr), "Solicitação"), EHomologa);

    // The find dialog searches from the row after the current one and goes round.
    requests.First();
    ui.answerFind("DSREFESOLI", "nota");
    EXPECT_TRUE(Procurar::Procura(requests));
    EXPECT_EQ(requests.RecNo(), 3) << "the current row is not found again";
    ui.answerFind("DSREFESOLI", "nota");
    EXPECT_TRUE(Procurar::Procura(requests));
    EXPECT_EQ(requests.RecNo(), 1);
    ui.answerFind("DSREFESOLI", "inexistente");
    EXPECT_FALSE(Procurar::Procura(requests));
    EXPECT_EQ(requests.RecNo(), 1);
    EXPECT_FALSE(Procurar::Procura(requests)) << "no answer cancels";
    EXPECT_EQ(ui.pendingAnswers(), 0);

    EXPECT_EQ(Criptografa::Uncripto("texto", 2), "texto");
    EXPECT_EQ(Criptografa::UncriptoPlus("texto"), "texto");
}

TEST(HostSettings, ReadFromTheSettingsFile)
{
    QTemporaryDir dir;
    const QString previous = platform::settings::filePath();
    const QString path = dir.filePath("homologa.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[host]\noperator=000000000123\nbranch=0001\nserver_host=srv.local\nserver_port=8091\n"
                   "keep_connected=true\nattachment_folder=C:/Anexos\n");
    }
    platform::settings::setFilePath(path);
    host::loadHostSettings();
    EXPECT_EQ(Horvane::Operador(), "000000000123");
    EXPECT_EQ(Horvane::FiliProc(), "0001");
    EXPECT_EQ(Horvane::WebURL(), "srv.local");
    EXPECT_EQ(Horvane::WebPort(), 8091);
    EXPECT_TRUE(Dbgeral::KeepConnected());
    EXPECT_EQ(Dbgeral::DirArqSoli(), "C:/Anexos");

    // Missing values take their defaults; a port that is no port falls back too.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[host]\nserver_port=porta\n");
    }
    host::loadHostSettings();
    EXPECT_EQ(Horvane::Operador(), "");
    EXPECT_EQ(Horvane::WebURL(), "");
    EXPECT_EQ(Horvane::WebPort(), 8090);
    EXPECT_FALSE(Dbgeral::KeepConnected());
    platform::settings::setFilePath(previous);
    host::loadHostSettings();
}

// What an error box shows: field names told by their titles, a library's words kept apart
// as the detail; Portuguese in parentheses stays in the sentence.
TEST(OperatorText, FieldTitlesAndLibraryDetail)
{
    host::setFieldTitles({{"DSGRUPHOMOL", "Nome do Grupo"}, {"NRPRIOSOLI", "Fila"}});
    EXPECT_EQ(host::withFieldTitles("O grupo 1 foi alterado (DSGRUPHOMOL: era \"a\"; NRPRIOSOLI: era \"\"). DSGRUPHOMOLX"),
              "O grupo 1 foi alterado (Nome do Grupo: era \"a\"; Fila: era \"\"). DSGRUPHOMOLX");
    host::setFieldTitles({});

    const struct {
        const char *text, *sentence, *detail;
    } cases[] = {
        {"O banco de dados está bloqueado; nada foi gravado. Tente novamente. (database is locked Unable to fetch row)",
         "O banco de dados está bloqueado; nada foi gravado. Tente novamente.", "database is locked Unable to fetch row"},
        {"A conexão foi perdida (server closed the connection)\r\n\r\nAs alterações não foram gravadas.",
         "A conexão foi perdida\r\n\r\nAs alterações não foram gravadas.", "server closed the connection"},
        {"Só um grupo na fase 001 (Pendente) pode ser excluído.", "Só um grupo na fase 001 (Pendente) pode ser excluído.", ""},
        {"(database is locked)", "(database is locked)", ""},
    };
    for (const auto &c : cases) {
        const host::OperatorMessage message = host::splitTechnicalDetail(QString::fromUtf8(c.text));
        EXPECT_EQ(message.sentence, QString::fromUtf8(c.sentence)) << c.text;
        EXPECT_EQ(message.detail, QString::fromUtf8(c.detail)) << c.text;
    }
}
