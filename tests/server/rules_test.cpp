// Every branch of the rules the remote methods and the saves enforce, one row per branch:
// the phases each guarded method accepts and refuses and what an accepted call restores,
// the subjects a request moves on with, and a guarded write that matched no row.

#include "serverenv.h"

#include "methods/domain.h"
#include "store/schema.h"
#include "tools/admin.h"
#include "tools/import.h"

#include <QJsonDocument>
#include <QSqlQuery>

#include <functional>

namespace {

using namespace Qt::StringLiterals;
namespace phase = server::phase;

const QStringList kAllPhases{u"010"_s, u"020"_s, u"030"_s, u"040"_s, u"050"_s,
                             u"060"_s, u"070"_s, u"080"_s, u"090"_s, u"100"_s};

QString phaseCode(int phase) { return u"%1"_s.arg(phase, 3, 10, QLatin1Char('0')); }

class RuleTest : public SampleServerTest {
protected:
    QString phaseOf(const QString &numero)
    {
        return db().scalar(u"SELECT CDFASETRAM FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ?"_s, {kBranch, numero}).toString();
    }
    QString responsibleOf(const QString &numero)
    {
        return db().scalar(u"SELECT CDOPERRESP FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ?"_s, {kBranch, numero}).toString();
    }
    void setPhase(const QString &numero, const QString &code)
    {
        db().exec(u"UPDATE SOLICITACAO SET CDFASETRAM = ? WHERE CDFILIAL = ? AND NRSOLISERV = ?"_s, {code, kBranch, numero});
    }
    int historyOf(const QString &numero)
    {
        return db().scalar(u"SELECT COUNT(*) FROM HISTFASETRAM WHERE CDFILIAL = ? AND NRSOLISERV = ?"_s, {kBranch, numero}).toInt();
    }
    QString groupField(const QString &code, const QString &field)
    {
        return valueAt(group(code), 0, field);
    }
    QString inGroup(const QString &code, const QString &numero, const char *field)
    {
        return db()
            .scalar(u"SELECT %1 FROM SOLIGRUPO WHERE CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ?"_s.arg(QLatin1String(field)),
                    {code, kBranch, numero})
            .toString();
    }
    // A group of the product holding the requests, moved on to `phase` (1 to 6).
    QString groupAt(int phase, const QStringList &numbers, const QString &release = {}, const QString &product = kProduct)
    {
        const QString code = createGroup(u"Fase %1"_s.arg(phase), product);
        if (!numbers.isEmpty())
            addRequests(code, numbers);
        if (!release.isEmpty())
            ok(u"setGrupo"_s, args({modifyDelta(group(code), 0, {{u"CDRELEASEGHOM"_s, release}}).toJson()}));
        for (int p = 2; p <= phase; ++p)
            advance(code);
        return code;
    }
    bool accepted(const QString &method, const QJsonArray &arguments, const QString &module = kMain)
    {
        return answer(method, arguments, module).value(u"ok"_s).toBool();
    }
};

// ---- The host database's subject query -------------------------------------------------

class ServerMethodsSubjects : public RuleTest {};

TEST_F(ServerMethodsSubjects, OnlyTheNineteenSubjectsThatMoveOnWith105AreAnswered)
{
    const QStringList listed{u"00010"_s, u"00011"_s, u"00015"_s, u"00016"_s, u"00019"_s, u"00050"_s, u"00051"_s,
                             u"00052"_s, u"00053"_s, u"00054"_s, u"00055"_s, u"00056"_s, u"00057"_s, u"00061"_s,
                             u"00062"_s, u"00063"_s, u"00064"_s, u"00102"_s, u"00104"_s};
    const QStringList others{u"00012"_s, u"00020"_s, u"00049"_s, u"00058"_s, u"00060"_s, u"00065"_s, u"00101"_s,
                             u"00103"_s, u"00105"_s, u"10"_s};
    QJsonArray subjects;
    for (const QString &code : listed + others)
        subjects.append(QJsonObject{{u"CDASSUNTO"_s, code}});
    server::importDocument(db(), QJsonDocument(QJsonObject{{u"subjects"_s, subjects}}).toJson());
    for (const QString &code : listed)
        EXPECT_EQ(column(ok(u"qryVerificaAssunto"_s, args({code}), kHostDb), u"CDASSUNTO"_s), QStringList{code}) << code.toStdString();
    for (const QString &code : others)
        EXPECT_TRUE(packetOf(ok(u"qryVerificaAssunto"_s, args({code}), kHostDb)).rows.isEmpty()) << code.toStdString();
}

// ---- Moving a request on in its workflow -------------------------------------------------

class ServerMethodsWorkflow : public RuleTest {};

TEST_F(ServerMethodsWorkflow, EachSubjectCodeOfTheRequestsMove)
{
    const QString g = groupAt(6, {u"0000000101"_s});
    struct Row {
        QString subject;
        QString target;  // empty: refused
    };
    const Row rows[] = {{u"105"_s, phase::Homologada}, {u"205"_s, phase::Homologada}, {u"072"_s, phase::AguardandoRegeracao},
                        {u""_s, {}},    {u"104"_s, {}}, {u"106"_s, {}}, {u"305"_s, {}}, {u"72"_s, {}},
                        {u"0105"_s, {}}, {u"071"_s, {}}, {u"105 "_s, {}}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.subject.toStdString());
        setPhase(u"0000000101"_s, phase::EmTeste);
        const int before = historyOf(u"0000000101"_s);
        const QJsonObject result = answer(u"setTramita_Soli"_s, args({kBranch, u"0000000101"_s, u"0001"_s, u"0002"_s, row.subject,
                                                                      u"Enviou patch"_s, u"obs"_s}));
        if (row.target.isEmpty()) {
            EXPECT_FALSE(result.value(u"ok"_s).toBool());
            EXPECT_TRUE(result.value(u"error"_s).toString().contains(u"Assunto de tramitação desconhecido"_s));
            EXPECT_EQ(phaseOf(u"0000000101"_s), phase::EmTeste);
            EXPECT_EQ(historyOf(u"0000000101"_s), before);
            continue;
        }
        EXPECT_TRUE(result.value(u"ok"_s).toBool()) << result.value(u"error"_s).toString().toStdString();
        EXPECT_EQ(phaseOf(u"0000000101"_s), row.target);
        EXPECT_EQ(responsibleOf(u"0000000101"_s), u"0002"_s);
        EXPECT_EQ(inGroup(g, u"0000000101"_s, "IDSTSOLIGRUP"), phase::groupStatus(row.target));
        EXPECT_EQ(historyOf(u"0000000101"_s), before + 1);
        EXPECT_EQ(db().scalar(u"SELECT CDASSUNTOTRAM FROM HISTFASETRAM WHERE NRSOLISERV = '0000000101' AND NRSEQHIST = ?"_s,
                              {before + 1})
                      .toString(),
                  row.subject);
    }
    // The responsible: empty keeps the current one; an unknown one is refused.
    setPhase(u"0000000101"_s, phase::EmTeste);
    ok(u"setTramita_Soli"_s, args({kBranch, u"0000000101"_s, u"0001"_s, u""_s, u"105"_s, u"x"_s, u""_s}));
    EXPECT_EQ(responsibleOf(u"0000000101"_s), u"0002"_s);
    setPhase(u"0000000101"_s, phase::EmTeste);
    EXPECT_TRUE(refused(u"setTramita_Soli"_s, args({kBranch, u"0000000101"_s, u"0001"_s, u"NINGUEM"_s, u"105"_s, u"x"_s, u""_s}))
                    .contains(u"NINGUEM"_s));
    EXPECT_EQ(phaseOf(u"0000000101"_s), phase::EmTeste);
}

// setTramita_Soli and the testers' verdict need the request's group at "006": every other
// phase of the group, no group and a closed group are refused.
TEST_F(ServerMethodsWorkflow, RequestMovesAndVerdictsOnlyWithTheGroupAt006)
{
    const QString g = createGroup(u"Fases"_s);
    addRequests(g, {u"0000000101"_s});
    for (int p = 1; p <= 6; ++p) {
        SCOPED_TRACE(p);
        if (p > 1)
            advance(g);
        setPhase(u"0000000101"_s, phase::EmTeste);
        const bool at006 = p == 6;
        EXPECT_EQ(accepted(u"setTramita_Soli"_s, args({kBranch, u"0000000101"_s, u"0001"_s, u""_s, u"072"_s, u"x"_s, u""_s})), at006);
        EXPECT_EQ(phaseOf(u"0000000101"_s), at006 ? phase::AguardandoRegeracao : phase::EmTeste);
        setPhase(u"0000000101"_s, phase::EmTeste);
        bool verdict = true;
        try {
            server::giveVerdict(db(), {kBranch, u"0000000101"_s}, u"sem-erro"_s, u"T"_s);
        } catch (const server::ServerError &) {
            verdict = false;
        }
        EXPECT_EQ(verdict, at006);
        EXPECT_EQ(phaseOf(u"0000000101"_s), at006 ? phase::TestadaSemErro : phase::EmTeste);
    }
    // Outside any group, and in a closed one.
    setPhase(u"0000000105"_s, phase::EmTeste);
    EXPECT_FALSE(accepted(u"setTramita_Soli"_s, args({kBranch, u"0000000105"_s, u"0001"_s, u""_s, u"105"_s, u"x"_s, u""_s})));
    ok(u"Encerra_Grupos"_s, args({g + u","_s}));
    setPhase(u"0000000101"_s, phase::EmTeste);
    EXPECT_FALSE(accepted(u"setTramita_Soli"_s, args({kBranch, u"0000000101"_s, u"0001"_s, u""_s, u"105"_s, u"x"_s, u""_s})));
    EXPECT_THROW(server::giveVerdict(db(), {kBranch, u"0000000101"_s}, u"sem-erro"_s, u"T"_s), server::ServerError);
    EXPECT_EQ(phaseOf(u"0000000101"_s), phase::EmTeste);
}

TEST_F(ServerMethodsWorkflow, VerdictsByRequestPhaseAndKind)
{
    groupAt(6, {u"0000000101"_s});
    const QStringList underTest{phase::EmTeste, phase::TestadaComErro, phase::TestadaSemErro, phase::AguardandoRegeracao};
    for (const QString &from : kAllPhases) {
        SCOPED_TRACE(from.toStdString());
        setPhase(u"0000000101"_s, from);
        bool given = true;
        try {
            server::giveVerdict(db(), {kBranch, u"0000000101"_s}, u"com-erro"_s, u"T"_s);
        } catch (const server::ServerError &error) {
            given = false;
            EXPECT_TRUE(error.message().contains(u"não foi liberada para teste"_s)) << error.message().toStdString();
        }
        EXPECT_EQ(given, underTest.contains(from));
        EXPECT_EQ(phaseOf(u"0000000101"_s), given ? phase::TestadaComErro : from);
    }
    const struct {
        QString verdict, target;
    } kinds[] = {{u"sem-erro"_s, phase::TestadaSemErro}, {u"com-erro"_s, phase::TestadaComErro},
                 {u"regerar"_s, phase::AguardandoRegeracao}, {u"aprovado"_s, {}}};
    for (const auto &kind : kinds) {
        setPhase(u"0000000101"_s, phase::EmTeste);
        if (kind.target.isEmpty()) {
            EXPECT_THROW(server::giveVerdict(db(), {kBranch, u"0000000101"_s}, kind.verdict, u"T"_s), server::ServerError);
            EXPECT_EQ(phaseOf(u"0000000101"_s), phase::EmTeste);
        } else {
            server::giveVerdict(db(), {kBranch, u"0000000101"_s}, kind.verdict, u"T"_s);
            EXPECT_EQ(phaseOf(u"0000000101"_s), kind.target) << kind.verdict.toStdString();
        }
    }
}

// The patch generation's moves: which request phases each accepts.
TEST_F(ServerMethodsWorkflow, PatchGenerationMovesByRequestPhase)
{
    const QString one = u"00010000000101"_s;
    const QStringList entering{phase::EmHomologacao, phase::EmGeracao, phase::PatchGerado, phase::AguardandoRegeracao};
    for (const QString &from : kAllPhases) {
        SCOPED_TRACE(from.toStdString());
        setPhase(u"0000000101"_s, from);
        const bool in = accepted(u"TransfPatchFaseTram"_s, args({one}), kPatch);
        EXPECT_EQ(in, entering.contains(from));
        EXPECT_EQ(phaseOf(u"0000000101"_s), in ? phase::EmGeracao : from);

        setPhase(u"0000000101"_s, from);
        const bool generated = accepted(u"TramitaSoliGeradas"_s, args({one, u"0001"_s}), kPatch);
        EXPECT_EQ(generated, from == phase::EmGeracao || from == phase::PatchGerado);
        EXPECT_EQ(phaseOf(u"0000000101"_s), generated ? phase::PatchGerado : from);

        // Back into generation from a regeneration request only; the version is cleared.
        setPhase(u"0000000103"_s, from);
        db().exec(u"UPDATE ARQPATCH SET CDVERPRODUTO = '4' WHERE NRSOLISERV = '0000000103'"_s);
        const bool again = accepted(u"TransfPatchFaseTram"_s, args({kBranch, u"0000000103"_s, kProduct}));
        EXPECT_EQ(again, from == phase::AguardandoRegeracao);
        EXPECT_EQ(db().scalar(u"SELECT CDVERPRODUTO FROM ARQPATCH WHERE NRSOLISERV = '0000000103'"_s).toString(),
                  again ? QString() : u"4"_s);

        // The clients' patch takes the files of a homologated request only.
        db().exec(u"UPDATE ARQPATCH SET IDLIBPATCHCLIE = 'N' WHERE NRSOLISERV = '0000000103'"_s);
        const bool released = accepted(u"SetArqLibPatchClie"_s, args({kBranch, u"0000000103"_s, kProduct}));
        EXPECT_EQ(released, from == phase::Homologada);
        EXPECT_EQ(db().scalar(u"SELECT MIN(IDLIBPATCHCLIE) FROM ARQPATCH WHERE NRSOLISERV = '0000000103'"_s).toString(),
                  released ? u"S"_s : u"N"_s);
    }
    // A request of another product, and one that does not exist.
    setPhase(u"0000000103"_s, phase::AguardandoRegeracao);
    EXPECT_TRUE(refused(u"TransfPatchFaseTram"_s, args({kBranch, u"0000000103"_s, u"0000000002"_s})).contains(u"não é do produto"_s));
    setPhase(u"0000000103"_s, phase::Homologada);
    EXPECT_TRUE(refused(u"SetArqLibPatchClie"_s, args({kBranch, u"0000000103"_s, u"0000000002"_s})).contains(u"não é do produto"_s));
    EXPECT_FALSE(accepted(u"TransfPatchFaseTram"_s, args({u"00010000000999"_s}), kPatch));
    EXPECT_FALSE(accepted(u"TramitaSoliGeradas"_s, args({u"00010000000999"_s, u"0001"_s}), kPatch));
}

TEST_F(ServerMethodsWorkflow, ReleaseAndResponsibleOfARequest)
{
    const struct {
        QString release, stored;
        bool accepted;
    } releases[] = {{u"501024"_s, u"501024"_s, true}, {u" 501025 "_s, u"501025"_s, true}, {u""_s, u""_s, true},
                    {u"50102"_s, {}, false},          {u"5010241"_s, {}, false},          {u"50102a"_s, {}, false}};
    for (const auto &row : releases) {
        SCOPED_TRACE(row.release.toStdString());
        db().exec(u"UPDATE SOLICITACAO SET CDRELEASESOLI = '501020' WHERE NRSOLISERV = '0000000105'"_s);
        EXPECT_EQ(accepted(u"SetReleaseSoli"_s, args({row.release, u"0000000105"_s})), row.accepted);
        EXPECT_EQ(db().scalar(u"SELECT CDRELEASESOLI FROM SOLICITACAO WHERE NRSOLISERV = '0000000105'"_s).toString(),
                  row.accepted ? row.stored : u"501020"_s);
    }
    // The guarded update that matched no request.
    EXPECT_TRUE(refused(u"SetReleaseSoli"_s, args({u"501024"_s, u"0000000999"_s})).contains(u"0000000999"_s));

    const struct {
        QString responsible, phase, stored;  // empty phase: refused
    } handovers[] = {{u"0002"_s, phase::EmTeste, u"0002"_s},
                     {u"DESENV"_s, phase::Desenvolvimento, u"DESENV"_s},
                     {u"NINGUEM"_s, {}, {}},
                     {u""_s, {}, {}}};
    for (const auto &row : handovers) {
        SCOPED_TRACE(row.responsible.toStdString());
        setPhase(u"0000000101"_s, phase::EmTeste);
        db().exec(u"UPDATE SOLICITACAO SET CDOPERRESP = 'DEV1' WHERE NRSOLISERV = '0000000101'"_s);
        const int before = historyOf(u"0000000101"_s);
        const bool done = accepted(u"setTroca_Resp_Soli"_s, args({kBranch, u"0000000101"_s, u"0001"_s, row.responsible}));
        EXPECT_EQ(done, !row.phase.isEmpty());
        EXPECT_EQ(phaseOf(u"0000000101"_s), done ? row.phase : phase::EmTeste);
        EXPECT_EQ(responsibleOf(u"0000000101"_s), done ? row.stored : u"DEV1"_s);
        EXPECT_EQ(historyOf(u"0000000101"_s), before + (done ? 1 : 0));
    }
    EXPECT_FALSE(accepted(u"setTroca_Resp_Soli"_s, args({kBranch, u"0000000999"_s, u"0001"_s, u"0002"_s})));
}

TEST_F(ServerMethodsWorkflow, SyncBringsRequestsInLineWithTheGroupsPhase)
{
    const QString g = createGroup(u"Sincronia"_s);
    addRequests(g, {u"0000000101"_s, u"0000000102"_s});
    for (int p = 1; p <= 6; ++p) {
        SCOPED_TRACE(p);
        if (p > 1)
            advance(g);
        setPhase(u"0000000101"_s, phase::PatchGerado);
        setPhase(u"0000000102"_s, phase::EmGeracao);
        db().exec(u"UPDATE SOLIGRUPO SET IDSTSOLIGRUP = '000' WHERE CDGRUPHOMOL = ?"_s, {g});
        const QJsonArray changed = ok(u"SyncFaseTram"_s, args({g})).toArray();
        EXPECT_EQ(changed, QJsonArray{u"2"_s});
        // Only at "006" does a generated patch enter the tests.
        EXPECT_EQ(phaseOf(u"0000000101"_s), p == 6 ? phase::EmTeste : phase::PatchGerado);
        EXPECT_EQ(inGroup(g, u"0000000101"_s, "IDSTSOLIGRUP"), p == 6 ? u"003"_s : u"002"_s);
        EXPECT_EQ(inGroup(g, u"0000000102"_s, "IDSTSOLIGRUP"), u"001"_s);
        EXPECT_EQ(ok(u"SyncFaseTram"_s, args({g})).toArray(), QJsonArray{u"0"_s});
    }
    // A closed group is left as it is.
    ok(u"Encerra_Grupos"_s, args({g}));
    setPhase(u"0000000101"_s, phase::PatchGerado);
    db().exec(u"UPDATE SOLIGRUPO SET IDSTSOLIGRUP = '000' WHERE CDGRUPHOMOL = ?"_s, {g});
    EXPECT_EQ(ok(u"SyncFaseTram"_s, args({g})).toArray(), QJsonArray{u"0"_s});
    EXPECT_EQ(phaseOf(u"0000000101"_s), phase::PatchGerado);
    EXPECT_EQ(inGroup(g, u"0000000101"_s, "IDSTSOLIGRUP"), u"000"_s);
    EXPECT_FALSE(accepted(u"SyncFaseTram"_s, args({u"0000000999"_s})));
}

// ---- Refusals of the other writing methods -------------------------------------------------

class ServerMethodsRefusals : public RuleTest {
protected:
    // What the writing methods below may touch, to show a refusal wrote nothing.
    QStringList snapshot()
    {
        QStringList state;
        for (const char *table : {"ARQCHECKOUTATIV", "VERSARQHOM", "JUSTIFICATIVA", "LOGTRAM", "GRUPOHOMOL"})
            state.append(db().scalar(u"SELECT COUNT(*) FROM %1"_s.arg(QLatin1String(table))).toString());
        for (const QStringList &row : queryRows(u"SELECT NRREVNOVA FROM ARQCHECKOUTATIV ORDER BY NRSEQARQ"_s))
            state += row;
        for (const QStringList &row : queryRows(u"SELECT CDVERPRODUTO || '.' || CDRELVERPROD || '.' || CDPATCHVERPR FROM ARQPATCH "
                                                  "ORDER BY NRSOLISERV, DSARQCHAVE"_s))
            state += row;
        for (const QStringList &row : queryRows(u"SELECT DSGRUPHOMOL || CDRELEASEGHOM || DTCRIAGRHOM FROM GRUPOHOMOL"_s))
            state += row;
        return state;
    }
    QList<QStringList> queryRows(const QString &sql)
    {
        QList<QStringList> rows;
        QSqlQuery &query = db().exec(sql);
        while (query.next())
            rows.append({query.value(0).toString()});
        query.finish();
        return rows;
    }
};

TEST_F(ServerMethodsRefusals, EachRefusalNamesTheFaultAndWritesNothing)
{
    const QString g = createGroup(u"Recusas"_s);
    addRequests(g, {u"0000000101"_s});
    const QString task = u"0000000011"_s, activity = u"00001"_s;
    ok(u"setArqCheckoutAtiv"_s, args({task, activity, u"1"_s, u"C:\\Ativ\\11\\products\\A.bpl"_s, u"7"_s, u""_s}), kPatch);
    packet::Packet revision;
    revision.fields = server::ds::cdsArqModifAtu().fields;
    revision.rows.append(packet::Row{u"C:\\Desenv\\P501\\Srv\\Novo.pas"_s, u"1"_s, u"2"_s, QString(), QString()});
    const packet::Packet groupRow = group(g);

    const struct {
        QString module, method;
        QJsonArray arguments;
        QString error;
    } rows[] = {
        // Files a task activity produced.
        {kPatch, u"setArqCheckoutAtiv"_s, args({u"0000000099"_s, activity, u"2"_s, u"B"_s, u"1"_s, u""_s}), u"não está cadastrada"_s},
        {kPatch, u"setArqCheckoutAtiv"_s, args({task, activity, u"0"_s, u"B"_s, u"1"_s, u""_s}), u"Sequência inválida"_s},
        {kPatch, u"setArqCheckoutAtiv"_s, args({task, activity, u"dois"_s, u"B"_s, u"1"_s, u""_s}), u"Sequência inválida"_s},
        {kPatch, u"setArqCheckoutAtiv"_s, args({task, activity, u"2"_s, u"  "_s, u"1"_s, u""_s}), u"deve ser informado"_s},
        {kPatch, u"setArqCheckoutAtiv"_s, args({task, activity, u"2"_s, u"c:/ativ/11/PRODUCTS/a.bpl"_s, u"1"_s, u""_s}),
         u"já está registrado"_s},
        {kPatch, u"setArqCheckoutAtiv"_s, args({task, activity, u"1"_s, u"B"_s, u"1"_s, u""_s}), u"já está em uso"_s},
        {kPatch, u"gravaNovaReleaseArq"_s, args({task, activity, u"C:\\Ativ\\11\\products\\B.bpl"_s, u"8"_s}), u"não está registrado"_s},
        {kPatch, u"getArqCheckoutAtiv"_s, args({task, u"00009"_s}), u"não está cadastrada"_s},
        // The version the files were generated for.
        {kPatch, u"setPatchFaseTram"_s, args({u"00010000000101"_s, u"5"_s, u""_s, u"023"_s}), u"Versão do produto inválida"_s},
        {kPatch, u"setPatchFaseTram"_s, args({u"00010000000101"_s, u"5"_s, u"0a"_s, u"023"_s}), u"Versão do produto inválida"_s},
        {kPatch, u"setPatchFaseTram"_s, args({u"00010000000101\n00010000000999"_s, u"5"_s, u"01"_s, u"023"_s}), u"0000000999"_s},
        {kPatch, u"setPatchFaseTram"_s, args({u"0001"_s, u"5"_s, u"01"_s, u"023"_s}), u"Linha 1"_s},
        {kMain, u"removeArqCheckoutAtiv"_s, args({u"_0000000101_0000000999_"_s}), u"0000000999"_s},
        // The group's records.
        {kMain, u"setVersArqHom"_s, args({g, revision.toJson()}), u"não foi registrada"_s},
        {kMain, u"setVersArqHom"_s, args({u"0000000999"_s, revision.toJson()}), u"0000000999"_s},
        {kMain, u"setInsereJustificativa"_s, args({kBranch, g, u"0000000102"_s, u"0001"_s, u"Motivo"_s}), u"não pertence"_s},
        {kMain, u"setInsereJustificativa"_s, args({kBranch, g, u"0000000101"_s, u"0001"_s, u" \r\n"_s}), u"não pode ser vazia"_s},
        {kMain, u"setLogTram"_s, args({u"0001"_s, u"0000000999"_s, u"001"_s, u"002"_s, u"x"_s}), u"0000000999"_s},
        // The group's own fields.
        {kMain, u"setGrupo"_s, args({modifyDelta(groupRow, 0, {{u"DTCRIAGRHOM"_s, u"2020-01-01T00:00:00"_s}}).toJson()}),
         u"mantido pelo servidor"_s},
        {kMain, u"setGrupo"_s, args({modifyDelta(groupRow, 0, {{u"DSGRUPHOMOL"_s, u"   "_s}}).toJson()}), u"Nome do grupo"_s},
        {kMain, u"setGrupo"_s, args({modifyDelta(groupRow, 0, {{u"CDRELEASEGHOM"_s, u"5010"_s}}).toJson()}), u"Release inválida"_s},
        {kMain, u"setGrupo"_s, args({modifyDelta(groupRow, 0, {{u"CDARVPROD"_s, u"P777"_s}}).toJson()}),
         u"Nenhum produto tem a árvore P777"_s},
        {kMain, u"setGrupo"_s, args({insertDelta(server::ds::cdsGrupo(), {{u"DSGRUPHOMOL"_s, u"Sem produto"_s}}).toJson()}),
         u"Produto deve ser informado"_s},
        {kMain, u"setGrupo"_s, args({modifyDelta(groupRow, 0, {{u"CDPRODUTO"_s, u"0000000077"_s}}).toJson()}), u"0000000077"_s},
    };
    const QStringList before = snapshot();
    for (const auto &row : rows) {
        SCOPED_TRACE((row.method + u" "_s + QString::fromUtf8(QJsonDocument(row.arguments).toJson(QJsonDocument::Compact))).toStdString());
        const QJsonObject result = answer(row.method, row.arguments, row.module);
        EXPECT_FALSE(result.value(u"ok"_s).toBool());
        EXPECT_TRUE(result.value(u"error"_s).toString().contains(row.error)) << result.value(u"error"_s).toString().toStdString();
        EXPECT_EQ(snapshot(), before);
    }
}

// ---- Closing groups ------------------------------------------------------------------------

class ServerMethodsClosing : public RuleTest {};

TEST_F(ServerMethodsClosing, OnlyGroupsAt006Close)
{
    const QString g = createGroup(u"Encerrar"_s);
    for (int p = 1; p <= 6; ++p) {
        SCOPED_TRACE(p);
        if (p > 1)
            advance(g);
        const bool closed = accepted(u"Encerra_Grupos"_s, args({g + u","_s}));
        EXPECT_EQ(closed, p == 6);
        EXPECT_EQ(groupField(g, u"IDSTGRUPHOM"_s), closed ? u"007"_s : phaseCode(p));
        EXPECT_EQ(groupField(g, u"DTHRHOMOGRUPSOL"_s).isEmpty(), !closed);
    }
    // Closed already, unknown, none at all.
    EXPECT_TRUE(refused(u"Encerra_Grupos"_s, args({g})).contains(u"007"_s));
    EXPECT_TRUE(refused(u"Encerra_Grupos"_s, args({u"0000000999,"_s})).contains(u"0000000999"_s));
    EXPECT_TRUE(refused(u"Encerra_Grupos"_s, args({u""_s})).contains(u"Nenhum grupo"_s));
    EXPECT_TRUE(refused(u"Encerra_Grupos"_s, args({u" , ,"_s})).contains(u"Nenhum grupo"_s));
    // A list with one group not at "006" closes none of them.
    const QString ready = groupAt(6, {});
    const QString pending = groupAt(1, {});
    EXPECT_TRUE(refused(u"Encerra_Grupos"_s, args({ready + u","_s + pending + u","_s})).contains(pending));
    EXPECT_EQ(groupField(ready, u"IDSTGRUPHOM"_s), u"006"_s);
    ok(u"Encerra_Grupos"_s, args({ready + u", "_s + ready + u","_s}));
    EXPECT_EQ(groupField(ready, u"IDSTGRUPHOM"_s), u"007"_s);
}

// Closing a group sends the other groups in progress of the same product and release back
// to "001" without a release, their requests to be generated and tested again; groups of
// another release or product, and the others when the closed group has no release, stay.
TEST_F(ServerMethodsClosing, WhatClosingRestoresInTheOtherGroups)
{
    const QString closing = groupAt(6, {u"0000000101"_s}, u"501023"_s);
    const QString sameRelease = groupAt(6, {u"0000000106"_s}, u"501023"_s);
    const QString otherRelease = groupAt(2, {u"0000000105"_s}, u"501024"_s);
    const QString otherProduct = groupAt(3, {u"0000000201"_s}, u"501023"_s, u"0000000002"_s);
    db().exec(u"UPDATE SOLIGRUPO SET IDHOMOLSOL = 'S', IDSTSOLIGRUP = '005' WHERE CDGRUPHOMOL = ?"_s, {sameRelease});
    setPhase(u"0000000106"_s, phase::TestadaSemErro);
    setPhase(u"0000000105"_s, phase::PatchGerado);
    setPhase(u"0000000201"_s, phase::PatchGerado);
    ok(u"Encerra_Grupos"_s, args({closing + u","_s}));

    EXPECT_EQ(groupField(sameRelease, u"IDSTGRUPHOM"_s), u"001"_s);
    EXPECT_EQ(groupField(sameRelease, u"CDRELEASEGHOM"_s), QString());
    EXPECT_EQ(phaseOf(u"0000000106"_s), phase::EmHomologacao);
    EXPECT_EQ(inGroup(sameRelease, u"0000000106"_s, "IDHOMOLSOL"), u"N"_s);
    EXPECT_EQ(inGroup(sameRelease, u"0000000106"_s, "IDSTSOLIGRUP"), u"001"_s);
    const struct {
        QString group, phase, release, request, requestPhase;
    } untouched[] = {{otherRelease, u"002"_s, u"501024"_s, u"0000000105"_s, phase::PatchGerado},
                     {otherProduct, u"003"_s, u"501023"_s, u"0000000201"_s, phase::PatchGerado}};
    for (const auto &row : untouched) {
        EXPECT_EQ(groupField(row.group, u"IDSTGRUPHOM"_s), row.phase);
        EXPECT_EQ(groupField(row.group, u"CDRELEASEGHOM"_s), row.release);
        EXPECT_EQ(phaseOf(row.request), row.requestPhase);
    }
    // A group without a release closes alone.
    const QString bare = groupAt(6, {u"0000000102"_s});
    const QString bareOther = groupAt(4, {u"0000000103"_s});
    ok(u"Encerra_Grupos"_s, args({bare}));
    EXPECT_EQ(groupField(bareOther, u"IDSTGRUPHOM"_s), u"004"_s);
}

// ---- The saves -------------------------------------------------------------------------------

class ServerSavesRules : public RuleTest {
protected:
    QJsonObject setGroupPhase(const QString &code, const QString &to)
    {
        return answer(u"setGrupo"_s, args({modifyDelta(group(code), 0, {{u"IDSTGRUPHOM"_s, to}}).toJson()}));
    }
    QJsonObject insertRequest(const QString &code, const QString &numero)
    {
        return answer(u"setSoli"_s, args({insertDelta(server::ds::cdsSoli(), {{u"CDGRUPHOMOL"_s, code},
                                                                               {u"CDFILIAL"_s, kBranch},
                                                                               {u"NRSOLISERV"_s, numero}})
                                                .toJson()}));
    }
    QJsonObject changeRequest(const QString &code, const QString &numero, const QMap<QString, QVariant> &changes)
    {
        const packet::Packet requests = packetOf(ok(u"GetSoli"_s, args({code})));
        const int row = rowWhere(requests, u"NRSOLISERV"_s, numero);
        if (row < 0)
            return notInGroup(numero);
        return answer(u"setSoli"_s, args({modifyDelta(requests, row, changes).toJson()}));
    }
    QJsonObject removeRequest(const QString &code, const QString &numero)
    {
        const packet::Packet requests = packetOf(ok(u"GetSoli"_s, args({code})));
        const int row = rowWhere(requests, u"NRSOLISERV"_s, numero);
        if (row < 0)
            return notInGroup(numero);
        return answer(u"setSoli"_s, args({deleteDelta(requests, row).toJson()}));
    }
    static QJsonObject notInGroup(const QString &numero)
    {
        ADD_FAILURE() << numero.toStdString() << " is not in the group";
        return {{u"ok"_s, false}, {u"error"_s, QString()}};
    }
};

// The phase moves one step at a time from "001" up to "006"; everything else is refused.
TEST_F(ServerSavesRules, GroupPhaseMovesOneStepUpTo006)
{
    const QString g = createGroup(u"Passos"_s);
    for (int from = 1; from <= 6; ++from) {
        SCOPED_TRACE(from);
        const QStringList refusedTargets{phaseCode(from - 1), phaseCode(from + 2), u"007"_s, u"%1"_s.arg(from + 1),
                                         u"00%1 "_s.arg(from + 1), u"abc"_s};
        for (const QString &to : refusedTargets) {
            const QJsonObject result = setGroupPhase(g, to);
            EXPECT_FALSE(result.value(u"ok"_s).toBool()) << to.toStdString();
            EXPECT_EQ(groupField(g, u"IDSTGRUPHOM"_s), phaseCode(from)) << to.toStdString();
        }
        if (from == 6)
            break;
        const QJsonObject step = setGroupPhase(g, phaseCode(from + 1));
        EXPECT_TRUE(step.value(u"ok"_s).toBool()) << step.value(u"error"_s).toString().toStdString();
        EXPECT_EQ(groupField(g, u"IDSTGRUPHOM"_s), phaseCode(from + 1));
        // Entering "003" stamps the generation date.
        EXPECT_EQ(groupField(g, u"DTHRGERAGRUPSOL"_s).isEmpty(), from + 1 < 3);
    }
}

// Only a group at "001" is deleted; its requests go back to the phase they came from, and
// its justifications, logs and file revisions go with it.
TEST_F(ServerSavesRules, GroupsAreDeletedOnlyAt001AndGiveTheirRequestsBack)
{
    const QString g = createGroup(u"Excluir"_s);
    setPhase(u"0000000105"_s, phase::AguardandoRegeracao);
    addRequests(g, {u"0000000101"_s, u"0000000105"_s});
    for (int p = 2; p <= 6; ++p) {
        advance(g);
        EXPECT_TRUE(refused(u"setGrupo"_s, args({deleteDelta(group(g), 0).toJson()})).contains(u"só um grupo na fase 001"_s)) << p;
        ASSERT_EQ(groupField(g, u"IDSTGRUPHOM"_s), phaseCode(p));
    }
    // Back to "001" the way a closing does, with what a group gathers on its way.
    ok(u"setInsereJustificativa"_s, args({kBranch, g, u"0000000101"_s, u"0001"_s, u"Motivo"_s}));
    ok(u"setLogTram"_s, args({u"0001"_s, g, u"005"_s, u"006"_s, u"Log"_s}));
    packet::Packet revisions;
    revisions.fields = server::ds::cdsArqModifAtu().fields;
    revisions.rows.append(packet::Row{u"C:\\Hom\\P501\\Srv\\Calc.pas"_s, u"10"_s, QString(), QString(), QString()});
    ok(u"setVersArqHom"_s, args({g, revisions.toJson()}));
    db().exec(u"UPDATE GRUPOHOMOL SET IDSTGRUPHOM = '001' WHERE CDGRUPHOMOL = ?"_s, {g});
    ok(u"setGrupo"_s, args({deleteDelta(group(g), 0).toJson()}));
    EXPECT_TRUE(group(g).rows.isEmpty());
    EXPECT_EQ(phaseOf(u"0000000101"_s), phase::Disponivel);
    EXPECT_EQ(phaseOf(u"0000000105"_s), phase::AguardandoRegeracao);
    for (const char *table : {"SOLIGRUPO", "JUSTIFICATIVA", "LOGTRAM", "VERSARQHOM"})
        EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM %1 WHERE CDGRUPHOMOL = ?"_s.arg(QLatin1String(table)), {g}).toInt(), 0) << table;
}

// A request enters a group at "001" only, when it is the group's product's, in no other
// group in progress, and finished by development or waiting for regeneration.
TEST_F(ServerSavesRules, RequestsEnterAGroupAt001FromTheirAvailablePhases)
{
    const QString g = createGroup(u"Entrada"_s);
    for (const QString &from : kAllPhases) {
        SCOPED_TRACE(from.toStdString());
        setPhase(u"0000000106"_s, from);
        const bool in = insertRequest(g, u"0000000106"_s).value(u"ok"_s).toBool();
        EXPECT_EQ(in, from == phase::Disponivel || from == phase::AguardandoRegeracao);
        EXPECT_EQ(phaseOf(u"0000000106"_s), in ? phase::EmHomologacao : from);
        EXPECT_EQ(inGroup(g, u"0000000106"_s, "CDFASEANTERIOR"), in ? from : QString());
        if (in) {
            // Taken out again, it goes back to where it came from.
            EXPECT_TRUE(removeRequest(g, u"0000000106"_s).value(u"ok"_s).toBool());
            EXPECT_EQ(phaseOf(u"0000000106"_s), from);
        }
    }
    // Another product's request; one already in a group in progress; one in a closed group.
    EXPECT_TRUE(insertRequest(g, u"0000000201"_s).value(u"error"_s).toString().contains(u"produto"_s));
    const QString holding = createGroup(u"Dono"_s);
    addRequests(holding, {u"0000000101"_s});
    EXPECT_TRUE(insertRequest(g, u"0000000101"_s).value(u"error"_s).toString().contains(u"já está incluída no grupo"_s));
    for (int p = 2; p <= 6; ++p)
        advance(holding);
    ok(u"Encerra_Grupos"_s, args({holding}));
    setPhase(u"0000000101"_s, phase::AguardandoRegeracao);
    EXPECT_TRUE(insertRequest(g, u"0000000101"_s).value(u"ok"_s).toBool());
    EXPECT_FALSE(insertRequest(g, u"0000000999"_s).value(u"ok"_s).toBool());
    EXPECT_FALSE(insertRequest(u"0000000999"_s, u"0000000102"_s).value(u"ok"_s).toBool());
    // Groups past "001" take no request.
    const QString moving = createGroup(u"Andando"_s);
    for (int p = 2; p <= 6; ++p) {
        advance(moving);
        EXPECT_FALSE(insertRequest(moving, u"0000000102"_s).value(u"ok"_s).toBool()) << p;
        EXPECT_EQ(phaseOf(u"0000000102"_s), phase::Disponivel) << p;
    }
}

// What a request in a group may change, by the group's phase: the queue at "001", the
// decisions at "006" (one of them, "S" or "N"), the removal at "001"; nothing else.
TEST_F(ServerSavesRules, RequestChangesByTheGroupsPhase)
{
    const QString g = createGroup(u"Mudanças"_s);
    addRequests(g, {u"0000000101"_s, u"0000000102"_s});
    for (int p = 1; p <= 6; ++p) {
        SCOPED_TRACE(p);
        if (p > 1)
            advance(g);
        const QString queue = u"%1"_s.arg(p, 3, 10, QLatin1Char('0'));
        EXPECT_EQ(changeRequest(g, u"0000000101"_s, {{u"NRPRIOSOLI"_s, queue}}).value(u"ok"_s).toBool(), p == 1);
        for (const char *flag : {"IDHOMOLSOL", "IDENCSOLPATCREG", "IDRETSOLERROPRO"}) {
            EXPECT_EQ(changeRequest(g, u"0000000101"_s, {{QString::fromLatin1(flag), u"S"_s}}).value(u"ok"_s).toBool(), p == 6) << flag;
            EXPECT_EQ(inGroup(g, u"0000000101"_s, flag), p == 6 ? u"S"_s : u"N"_s) << flag;
            if (p == 6) {
                EXPECT_TRUE(changeRequest(g, u"0000000101"_s, {{QString::fromLatin1(flag), u"N"_s}}).value(u"ok"_s).toBool());
            }
        }
        const QJsonObject removal = removeRequest(g, u"0000000102"_s);
        EXPECT_EQ(removal.value(u"ok"_s).toBool(), p == 1);
        if (p == 1) {
            EXPECT_EQ(phaseOf(u"0000000102"_s), phase::Disponivel);
            addRequests(g, {u"0000000102"_s});
        } else {
            EXPECT_TRUE(removal.value(u"error"_s).toString().contains(u"só na fase 001"_s));
        }
    }
    const struct {
        QMap<QString, QVariant> changes;
        const char *error;
    } refusals[] = {
        {{{u"IDHOMOLSOL"_s, u"s"_s}}, "aceita só"},
        {{{u"IDHOMOLSOL"_s, u"X"_s}}, "aceita só"},
        {{{u"IDHOMOLSOL"_s, u"S"_s}, {u"IDENCSOLPATCREG"_s, u"S"_s}}, "só uma"},
        {{{u"IDRETSOLERROPRO"_s, u"S"_s}, {u"IDENCSOLPATCREG"_s, u"S"_s}}, "só uma"},
        {{{u"DSREFESOLI"_s, u"Outra"_s}}, "DSREFESOLI"},
        {{{u"IDSTSOLIGRUP"_s, u"006"_s}}, "IDSTSOLIGRUP"},
        {{{u"CDFILIAL"_s, u"0002"_s}}, "CDFILIAL"},
        {{{u"NRSOLISERV"_s, u"0000000103"_s}}, "NRSOLISERV"},
        {{{u"CDGRUPHOMOL"_s, u"0000000099"_s}}, "CDGRUPHOMOL"},
    };
    for (const auto &row : refusals) {
        const QJsonObject result = changeRequest(g, u"0000000101"_s, row.changes);
        EXPECT_FALSE(result.value(u"ok"_s).toBool()) << row.error;
        EXPECT_TRUE(result.value(u"error"_s).toString().contains(QString::fromUtf8(row.error)))
            << result.value(u"error"_s).toString().toStdString();
    }
    for (const char *flag : {"IDHOMOLSOL", "IDENCSOLPATCREG", "IDRETSOLERROPRO"})
        EXPECT_EQ(inGroup(g, u"0000000101"_s, flag), u"N"_s) << flag;
}

// A guarded UPDATE or DELETE that matched no row is refused as a change made by another
// operator during the save, and nothing of the save is kept. The row is made to vanish
// from under the write by a trigger that skips it.
TEST_F(ServerSavesRules, AGuardedWriteThatMatchedNoRowIsRefused)
{
    const QString g = createGroup(u"Guarda"_s);
    addRequests(g, {u"0000000101"_s, u"0000000102"_s});
    auto skipWrites = [&](const char *operation, const char *table) {
        const QString name = u"pula_%1_%2"_s.arg(QLatin1String(operation), QLatin1String(table)).toLower();
        if (testingPostgres()) {
            db().exec(u"CREATE OR REPLACE FUNCTION pula_linha() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RETURN NULL; END$$"_s);
            db().exec(u"CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION pula_linha()"_s.arg(
                name, QLatin1String(operation), QLatin1String(table)));
        } else {
            db().exec(u"CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(IGNORE); END"_s.arg(name, QLatin1String(operation),
                                                                                              QLatin1String(table)));
        }
        return name;
    };
    auto dropTrigger = [&](const QString &name, const char *table) {
        db().exec(testingPostgres() ? u"DROP TRIGGER %1 ON %2"_s.arg(name, QLatin1String(table)) : u"DROP TRIGGER %1"_s.arg(name));
    };
    const auto requestsBefore = [&] { return column(ok(u"GetSoli"_s, args({g})), u"NRSOLISERV"_s); };
    const QStringList members = requestsBefore();

    struct Row {
        const char *operation, *table;
        std::function<QJsonObject()> save;
    };
    const Row rows[] = {
        {"UPDATE", "GRUPOHOMOL",
         [&] { return answer(u"setGrupo"_s, args({modifyDelta(group(g), 0, {{u"DSGRUPHOMOL"_s, u"Novo"_s}}).toJson()})); }},
        {"DELETE", "GRUPOHOMOL", [&] { return answer(u"setGrupo"_s, args({deleteDelta(group(g), 0).toJson()})); }},
        {"UPDATE", "SOLIGRUPO", [&] { return changeRequest(g, u"0000000101"_s, {{u"NRPRIOSOLI"_s, u"007"_s}}); }},
        {"DELETE", "SOLIGRUPO", [&] { return removeRequest(g, u"0000000102"_s); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.operation) + " " + row.table);
        const QString trigger = skipWrites(row.operation, row.table);
        const QJsonObject result = row.save();
        dropTrigger(trigger, row.table);
        EXPECT_FALSE(result.value(u"ok"_s).toBool());
        EXPECT_TRUE(result.value(u"error"_s).toString().contains(u"durante a gravação"_s))
            << result.value(u"error"_s).toString().toStdString();
        EXPECT_EQ(groupField(g, u"DSGRUPHOMOL"_s), u"Guarda"_s);
        EXPECT_EQ(requestsBefore(), members);
        EXPECT_EQ(inGroup(g, u"0000000101"_s, "NRPRIOSOLI"), QString());
        EXPECT_EQ(phaseOf(u"0000000102"_s), phase::EmHomologacao);
        ASSERT_EQ(group(g).rows.size(), 1);
    }
}

}  // namespace
