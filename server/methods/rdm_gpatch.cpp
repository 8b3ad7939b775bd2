// Remote data module VOP03409.rdmGPatch (patch generation: the files to generate, the
// product version, the moves of the requests through generation, the registration of the
// files a task activity produced), and the host database's subject query.

#include "methods/datasets.h"
#include "methods/dispatcher.h"
#include "methods/domain.h"
#include "store/database.h"
#include "store/events.h"
#include "store/schema.h"

#include <algorithm>

namespace server {
namespace {

using A = ArgKind;

QList<RequestKey> existingRequests(Database &db, const QString &list)
{
    const QList<RequestKey> keys = parseRequestList(list);
    for (const RequestKey &key : keys)
        requireRequest(db, key);
    return keys;
}

Json filesOfKind(Call &call, const char *kind)
{
    QList<QVariantList> rows;
    for (const RequestKey &key : existingRequests(call.db, call.text(0))) {
        for (const QStringList &row : queryRows(
                 call.db,
                 QStringLiteral("SELECT A.DSARQPATCH, A.CDVERPRODUTO, A.CDRELVERPROD, A.CDPATCHVERPR, A.CDFILIAL, A.NRSOLISERV, "
                                "A.NRTAREFA, A.NRPLATIVTARE, A.NRSEQPATCH, A.CDRELEASEMETA, A.CDTIPOITTRAB, S.CDPRODUTO "
                                "FROM ARQPATCH A JOIN SOLICITACAO S ON S.CDFILIAL = A.CDFILIAL AND S.NRSOLISERV = A.NRSOLISERV "
                                "WHERE A.CDFILIAL = ? AND A.NRSOLISERV = ? AND A.IDTIPOARQ = '%1' ORDER BY A.NRSEQPATCH, A.DSARQCHAVE")
                     .arg(QLatin1String(kind)),
                 {key.filial, key.numero}))
            rows.append(QVariantList(row.begin(), row.end()));
    }
    return rowsPacket(ds::cdsArquivos(), rows);
}

// getArquivos(request list): the compiled-kind files the listed requests release, with the
// version they were generated for, task, activity, sequence and the request's product.
Json getArquivos(Call &call) { return filesOfKind(call, "C"); }
// getArquivosAsp(request list): the same for web-page files.
Json getArquivosAsp(Call &call) { return filesOfKind(call, "W"); }
// getArquivosSetForms(request list): the same for form-setting files.
Json getArquivosSetForms(Call &call) { return filesOfKind(call, "F"); }

// getDtUltTram(request list): the date and time of each listed request's last phase change.
Json getDtUltTram(Call &call)
{
    QList<QVariantList> rows;
    for (const RequestKey &key : existingRequests(call.db, call.text(0))) {
        const QVariant when =
            call.db.scalar(QStringLiteral("SELECT DTALFASETRAM FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                           {key.filial, key.numero});
        rows.append({key.filial, key.numero, when});
    }
    return rowsPacket(ds::cdsDtUltTram(), rows);
}

// getVersaoProd(var product): [major, minor, release] of the product's current release;
// three empty texts when none is registered.
Json getVersaoProd(Call &call)
{
    requireProduct(call.db, call.text(0));
    const QString release = currentRelease(call.db, call.text(0));
    if (release.size() < 6)
        return QJsonArray{QString(), QString(), QString()};
    return QJsonArray{release.left(release.size() - 5), release.right(5).left(2), release.right(3)};
}

// GetGeraReleaseMeta(product): one row with IDGERRELEASEMETA, "S" when the product's web
// windows are rebuilt from metadata.
Json GetGeraReleaseMeta(Call &call)
{
    const ProductRow product = requireProduct(call.db, call.text(0));
    return rowsPacket(ds::cdsGeraReleaseMeta(), {{product.releaseMeta.isEmpty() ? QStringLiteral("N") : product.releaseMeta}});
}

QString activityFolder(Database &db, const QString &task, const QString &activity)
{
    const QVariant folder =
        db.scalar(QStringLiteral("SELECT DSDIRATIV FROM ATIVIDADE WHERE NRTAREFA = ? AND NRPLATIVTARE = ?"), {task, activity});
    if (!folder.isValid())
        throw ServerError(QStringLiteral("A atividade %1 da tarefa %2 não está cadastrada.").arg(activity, task));
    return folder.toString();
}

// getArqCheckoutAtiv(var task, var activity): "<last sequence>_<activity folder>\products\":
// the highest sequence registered for the activity (0 when none) and its folder.
Json getArqCheckoutAtiv(Call &call)
{
    QString folder = activityFolder(call.db, call.text(0), call.text(1));
    while (folder.endsWith(u'\\'))
        folder.chop(1);
    const int sequence = call.db
                             .scalar(QStringLiteral("SELECT COALESCE(MAX(NRSEQARQ), 0) FROM ARQCHECKOUTATIV WHERE NRTAREFA = ? "
                                                    "AND NRPLATIVTARE = ?"),
                                     {call.text(0), call.text(1)})
                             .toInt();
    return QStringLiteral("%1_%2\\products\\").arg(sequence).arg(folder);
}

// getDsDirArqCheckou(var task, var activity, path): the path as registered for the
// activity, or an empty text when it is not registered yet.
Json getDsDirArqCheckou(Call &call)
{
    activityFolder(call.db, call.text(0), call.text(1));
    return call.db
        .scalar(QStringLiteral("SELECT DSDIRARQCHECKOU FROM ARQCHECKOUTATIV WHERE NRTAREFA = ? AND NRPLATIVTARE = ? AND "
                               "DSARQCHAVE = ?"),
                {call.text(0), call.text(1), pathKey(call.text(2))})
        .toString();
}

// setArqCheckoutAtiv(var task, var activity, sequence, var path, var revision, var release):
// registers a file produced for the activity under a new sequence number.
Json setArqCheckoutAtiv(Call &call)
{
    const QString task = call.text(0), activity = call.text(1), path = call.text(3);
    // Two registrations for one activity at once: the second waits, then sees the first.
    call.db.lockRows(QStringLiteral("SELECT 1 FROM ATIVIDADE WHERE NRTAREFA = ? AND NRPLATIVTARE = ?"), {task, activity});
    activityFolder(call.db, task, activity);
    bool numeric = false;
    const int sequence = call.text(2).trimmed().toInt(&numeric);
    if (!numeric || sequence < 1)
        throw ServerError(QStringLiteral("Sequência inválida para o arquivo %1: \"%2\".").arg(path, call.text(2)));
    if (path.trimmed().isEmpty())
        throw ServerError(QStringLiteral("O caminho do arquivo da atividade deve ser informado."));
    if (call.db.scalar(QStringLiteral("SELECT 1 FROM ARQCHECKOUTATIV WHERE NRTAREFA = ? AND NRPLATIVTARE = ? AND DSARQCHAVE = ?"),
                       {task, activity, pathKey(path)})
            .isValid())
        throw ServerError(QStringLiteral("O arquivo %1 já está registrado na atividade %2 da tarefa %3.").arg(path, activity, task));
    if (call.db.scalar(QStringLiteral("SELECT 1 FROM ARQCHECKOUTATIV WHERE NRTAREFA = ? AND NRPLATIVTARE = ? AND NRSEQARQ = ?"),
                       {task, activity, sequence})
            .isValid())
        throw ServerError(QStringLiteral("A sequência %1 já está em uso na atividade %2 da tarefa %3.").arg(sequence).arg(activity, task));
    call.db.exec(QStringLiteral("INSERT INTO ARQCHECKOUTATIV (NRTAREFA, NRPLATIVTARE, NRSEQARQ, DSDIRARQCHECKOU, DSARQCHAVE, "
                                "NRREVISAO, CDRELEASEMETA, DTREGISTRO) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                 {task, activity, sequence, path.left(250), pathKey(path).left(250), call.text(4).left(10),
                  call.text(5).left(20), nowText()});
    return QJsonValue::Null;
}

// gravaNovaReleaseArq(var task, var activity, var path, var revision): records the revision
// a registered file has after it was stamped and committed.
Json gravaNovaReleaseArq(Call &call)
{
    if (call.db.execCount(QStringLiteral("UPDATE ARQCHECKOUTATIV SET NRREVNOVA = ? WHERE NRTAREFA = ? AND NRPLATIVTARE = ? AND "
                                         "DSARQCHAVE = ?"),
                          {call.text(3).left(10), call.text(0), call.text(1), pathKey(call.text(2))})
        == 0)
        throw ServerError(QStringLiteral("O arquivo %1 não está registrado na atividade %2 da tarefa %3.")
                              .arg(call.text(2), call.text(1), call.text(0)));
    return QJsonValue::Null;
}

// setPatchFaseTram(var request list, var major, var minor, var release): records the
// product version the listed requests' files were generated for.
Json setPatchFaseTram(Call &call)
{
    const QList<RequestKey> keys = existingRequests(call.db, call.text(0));
    for (int i = 1; i <= 3; ++i) {
        const QString part = call.text(i);
        if (part.isEmpty() || !std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit(); }))
            throw ServerError(QStringLiteral("Versão do produto inválida: \"%1.%2.%3\".").arg(call.text(1), call.text(2), call.text(3)));
    }
    for (const RequestKey &key : keys)
        call.db.exec(QStringLiteral("UPDATE ARQPATCH SET CDVERPRODUTO = ?, CDRELVERPROD = ?, CDPATCHVERPR = ? "
                                    "WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                     {call.text(1), call.text(2), call.text(3), key.filial, key.numero});
    return QJsonValue::Null;
}

QString phaseName(Database &db, const QString &code)
{
    return db.scalar(QStringLiteral("SELECT DSSTFASETRAM FROM FASETRAM WHERE CDFASETRAM = ?"), {code}).toString();
}

// TransfPatchFaseTram(var request list): the listed requests enter patch generation. A
// request of a group under homologation, already generated or sent back for regeneration
// may enter; any other phase is refused, naming the request.
Json TransfPatchFaseTramList(Call &call)
{
    for (const RequestKey &key : existingRequests(call.db, call.text(0))) {
        lockRequest(call.db, key);
        const RequestRow request = requireRequest(call.db, key);
        const QStringList allowed{phase::EmHomologacao, phase::EmGeracao, phase::PatchGerado, phase::AguardandoRegeracao};
        if (!allowed.contains(request.phase))
            throw ServerError(QStringLiteral("A solicitação %1/%2 está na fase \"%3\" e não pode entrar em geração de patch.")
                                  .arg(key.filial, key.numero, phaseName(call.db, request.phase)));
        if (request.phase != phase::EmGeracao)
            changePhase(call.db, key, phase::EmGeracao, changeOperator(call.db, openGroupOf(call.db, key)), QString(), QString(),
                        QStringLiteral("Geração de patch iniciada"));
    }
    return QJsonValue::Null;
}

// TramitaSoliGeradas(request list, operator): the listed requests, whose patch was
// generated, move on to "Patch gerado" (again is no error).
Json TramitaSoliGeradas(Call &call)
{
    for (const RequestKey &key : existingRequests(call.db, call.text(0))) {
        lockRequest(call.db, key);
        const RequestRow request = requireRequest(call.db, key);
        if (request.phase == phase::PatchGerado)
            continue;
        if (request.phase != phase::EmGeracao)
            throw ServerError(QStringLiteral("A solicitação %1/%2 está na fase \"%3\", não em geração de patch.")
                                  .arg(key.filial, key.numero, phaseName(call.db, request.phase)));
        changePhase(call.db, key, phase::PatchGerado, call.text(1), QString(), QString(), QStringLiteral("Patch gerado"));
    }
    return QJsonValue::Null;
}

// Dbgeral.qryVerificaAssunto(P_CDASSUNTO): the subject when it is registered and one of the
// subjects whose homologated requests move on with workflow subject "105".
Json qryVerificaAssunto(Call &call)
{
    static const char *const codes[] = {"00010", "00011", "00015", "00016", "00019", "00050", "00051",
                                        "00052", "00053", "00054", "00055", "00056", "00057", "00061",
                                        "00062", "00063", "00064", "00102", "00104"};
    QVariantList values{call.text(0)};
    QStringList marks;
    for (const char *code : codes) {
        values.append(QString::fromLatin1(code));
        marks.append(QStringLiteral("?"));
    }
    return queryPacket(call.db, ds::qryVerificaAssunto(),
                       QStringLiteral("SELECT CDASSUNTO FROM ASSUNTO WHERE CDASSUNTO = ? AND CDASSUNTO IN (%1)").arg(marks.join(u',')),
                       values);
}

}  // namespace

const ModuleDef &gPatchModule()
{
    static const ModuleDef module{
        QStringLiteral("VOP03409.rdmGPatch"),
        {
            {QStringLiteral("getArquivos"), {A::Text}, false, getArquivos},
            {QStringLiteral("getArquivosAsp"), {A::Text}, false, getArquivosAsp},
            {QStringLiteral("getArquivosSetForms"), {A::Text}, false, getArquivosSetForms},
            {QStringLiteral("getDtUltTram"), {A::Text}, false, getDtUltTram},
            {QStringLiteral("getVersaoProd"), {A::Ref}, false, getVersaoProd},
            {QStringLiteral("GetGeraReleaseMeta"), {A::Text}, false, GetGeraReleaseMeta},
            {QStringLiteral("getArqCheckoutAtiv"), {A::Ref, A::Ref}, false, getArqCheckoutAtiv},
            {QStringLiteral("getDsDirArqCheckou"), {A::Ref, A::Ref, A::Text}, false, getDsDirArqCheckou},
            {QStringLiteral("setArqCheckoutAtiv"), {A::Ref, A::Ref, A::Text, A::Ref, A::Ref, A::Ref}, true, setArqCheckoutAtiv},
            {QStringLiteral("gravaNovaReleaseArq"), {A::Ref, A::Ref, A::Ref, A::Ref}, true, gravaNovaReleaseArq},
            {QStringLiteral("setPatchFaseTram"), {A::Ref, A::Ref, A::Ref, A::Ref}, true, setPatchFaseTram},
            {QStringLiteral("TramitaSoliGeradas"), {A::Text, A::Text}, true, TramitaSoliGeradas},
            {QStringLiteral("TransfPatchFaseTram"), {A::Ref}, true, TransfPatchFaseTramList},
        }};
    return module;
}

const ModuleDef &hostDatabaseModule()
{
    static const ModuleDef module{QStringLiteral("Dbgeral"),
                                  {{QStringLiteral("qryVerificaAssunto"), {A::Text}, false, qryVerificaAssunto}}};
    return module;
}

}  // namespace server
