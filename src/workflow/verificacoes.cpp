// The checks of the phase transitions and of a request being added to a group. Every check
// but the last discards the group list's unsaved changes (the marks) when anything inside it
// fails; the lower-patch check of a request lets its failure reach the request's save.

#include "workflow/verificacoes.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/services.h"

#include <QSet>

#include <functional>

namespace {

const QString kCdGrupHomol = QStringLiteral("CDGRUPHOMOL");
const QString kDsGrupHomol = QStringLiteral("DSGRUPHOMOL");
const QString kNrSoliServ = QStringLiteral("NRSOLISERV");
const QString kDsRefeSoli = QStringLiteral("DSREFESOLI");
const QString kMarcado = QStringLiteral("IDMARCADO");
const QString kRelease = QStringLiteral("CDRELEASEGHOM");
const QString kReleaseSoli = QStringLiteral("CDRELEASESOLI");

// Runs a check; when it fails, the group list's unsaved changes go and the failure goes on.
void discardingOnFailure(TdmGrupSoliHom &dm, const std::function<void()> &check)
{
    try {
        check();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

// One use of the connection held for as long as it lives.
class HeldConnection {
public:
    explicit HeldConnection(TdmGrupSoliHom &dm) : m_dm(dm) { ConnectServer(m_dm.stlConexoes, m_dm.netGrupSoliHom, true); }
    ~HeldConnection() { ConnectServer(m_dm.stlConexoes, m_dm.netGrupSoliHom, false); }
    HeldConnection(const HeldConnection &) = delete;
    HeldConnection &operator=(const HeldConnection &) = delete;

private:
    TdmGrupSoliHom &m_dm;
};

QString extensionOf(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype separator = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return dot > separator ? path.mid(dot).toUpper() : QString();
}

}  // namespace

bool Verificacoes::ExtensaoContada(const QString &path)
{
    static const QSet<QString> counted{QStringLiteral(".PKG"), QStringLiteral(".DPK"), QStringLiteral(".DPR"),
                                       QStringLiteral(".SQL"), QStringLiteral(".QR2"), QStringLiteral(".CDS"),
                                       QStringLiteral(".PRC")};
    return counted.contains(extensionOf(path));
}

// ====================================================================== generation

void Verificacoes::VD_Todas_Solicitacoes_Geradas()
{
    discardingOnFailure(dm, [this] {
        Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("VALIDA_SOLI_GERADA")));
        dm.CarregaPacote(dm.cdsSoliNaoGerada, QStringLiteral("getSoliNaoGerada"), {dm.codigoGrupo()});
        if (dm.cdsSoliNaoGerada->IsEmpty())
            return;
        QString linhas;
        const TField numero = dm.cdsSoliNaoGerada->FieldByName(kNrSoliServ);
        const TField referencia = dm.cdsSoliNaoGerada->FieldByName(kDsRefeSoli);
        for (dm.cdsSoliNaoGerada->First(); !dm.cdsSoliNaoGerada->Eof(); dm.cdsSoliNaoGerada->Next())
            linhas += numero.AsString() + QStringLiteral(" - ") + referencia.AsString() + QStringLiteral("\r\n");
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("SOLI_N_GERADA"), {linhas}), true);
    });
}

void Verificacoes::Vd_soli_sem_arq_gerar()
{
    discardingOnFailure(dm, [this] {
        dm.cdssolisemgerar->EmptyDataSet();
        dm.CarregaPacote(dm.cdssolisemgerar, QStringLiteral("GetArquivos"), {dm.cdsSoli->Data(), QStringLiteral("S")});
        if (dm.cdssolisemgerar->IsEmpty())
            return;
        QString lista = QStringLiteral("\r");
        const TField numero = dm.cdssolisemgerar->FieldByName(kNrSoliServ);
        for (dm.cdssolisemgerar->First(); !dm.cdssolisemgerar->Eof(); dm.cdssolisemgerar->Next())
            lista += numero.AsString() + u'\r';
        if (dm.msgPadrao.ShowMsg(QStringLiteral("ERRO_SOLI_SEM_FILE_GERAR"), {lista}, DialogType::Error, mbYes | mbNo)
            != mbYes)
            Abort();
    });
}

void Verificacoes::Vd_Consistencia_Arquivo()
{
    discardingOnFailure(dm, [this] {
        const QString grupo = dm.codigoGrupo();
        dm.CarregaPacote(dm.cdsArq, QStringLiteral("getArq"), {grupo});
        dm.CarregaPacote(dm.cdsArqSoli, QStringLiteral("getArqSoli"), {grupo});

        // Both sides in upper case; the files to generate are stored without their drive.
        QStringList modificados, aGerar;
        const TField checkout = dm.cdsArq->FieldByName(QStringLiteral("DSDIRARQCHECKOU"));
        for (dm.cdsArq->First(); !dm.cdsArq->Eof(); dm.cdsArq->Next()) {
            if (ExtensaoContada(checkout.AsString()))
                modificados << checkout.AsString().toUpper();
        }
        const TField patch = dm.cdsArqSoli->FieldByName(QStringLiteral("DSARQPATCH"));
        for (dm.cdsArqSoli->First(); !dm.cdsArqSoli->Eof(); dm.cdsArqSoli->Next())
            aGerar << QStringLiteral("C:") + patch.AsString().toUpper();
        dm.cdsArq->First();
        dm.cdsArqSoli->First();

        const auto fill = [](Dataset *dataset, const QStringList &paths) {
            dataset->EmptyDataSet();
            TField destino = dataset->FieldByName(QStringLiteral("DSDIRDESTARQ"));
            for (const QString &path : paths) {
                dataset->Append();
                destino.setAsString(path);
                dataset->Post();
            }
        };
        fill(dm.cdsArqCons, modificados);
        fill(dm.cdsArqSoliCons, aGerar);

        const QSet<QString> emModificados(modificados.begin(), modificados.end());
        const QSet<QString> emAGerar(aGerar.begin(), aGerar.end());
        QString lista1, lista2;
        for (const QString &path : modificados)
            if (!emAGerar.contains(path))
                lista1 += path + u'\r';
        for (const QString &path : aGerar)
            if (!emModificados.contains(path))
                lista2 += path + u'\r';

        // Each question names the group it is about after its list, as the transitions' do.
        const QString doGrupo = QStringLiteral("\r\n\r\nGrupo: %1 - %2").arg(grupo, dm.grupo(QStringLiteral("DSGRUPHOMOL")));
        const auto pergunta = [this, &doGrupo](const char *key, const QString &lista) {
            return hostUi().showMessage(dm.msgPadrao.Msg(QString::fromLatin1(key), {lista}) + doGrupo,
                                        DialogType::Confirmation, mbYes | mbNo)
                == mbYes;
        };
        if (!lista1.isEmpty() && !pergunta("ARQMODIFSEMGERAR", lista1))
            Abort();
        if (!lista2.isEmpty() && !pergunta("ARQGERARSEMMODIF", lista2))
            Abort();
    });
}

void Verificacoes::Preenche_Release_Grupo(const QString &codigo)
{
    discardingOnFailure(dm, [this, &codigo] {
        // The phase write before this reloaded the list: the group is found again by its code.
        if (!dm.LocalizaGrupo(codigo))
            throw EHomologa(QStringLiteral("O grupo de solicitações %1 não está na lista de grupos; a release do produto "
                                           "não foi gravada nele.")
                                .arg(codigo));
        const QString method = QStringLiteral("getReleaseProd");
        const QJsonArray release =
            TdmGrupSoliHom::Lista(dm.ChamaServidor(method, {dm.grupo(QStringLiteral("CDPRODUTO"))}), method, 1);
        dm.cdsGrupo->Edit();
        dm.cdsGrupo->FieldByName(kRelease).setAsString(release[0].toVariant().toString());
        dm.cdsGrupo->Post();
    });
}

// ====================================================================== homologation

void Verificacoes::VD_Todas_Solicitacoes_Testadas()
{
    discardingOnFailure(dm, [this] {
        Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("VALIDA_SOL_TESTADA")));
        Dataset &grupos = *dm.cdsGrupo;
        grupos.DisableControls();
        try {
            // The walk reads no group's requests on its way; the group it ends on has them
            // read once at the end.
            DetachedEvent scroll(grupos.AfterScroll);
            const TField marcado = grupos.FieldByName(kMarcado);
            for (grupos.First(); !grupos.Eof(); grupos.Next()) {
                if (marcado.AsString() == u"S")
                    VD_Todas_Solicitacoes_Testadas_Grupo(dm.codigoGrupo());
            }
        } catch (...) {
            grupos.EnableControls();
            throw;
        }
        grupos.EnableControls();
        dm.cdsGrupoAfterScroll();
    });
}

void Verificacoes::VD_Todas_Solicitacoes_Testadas_Grupo(const QString &codigo)
{
    discardingOnFailure(dm, [this, &codigo] {
        {
            Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("Recebendo")));
            dm.CarregaPacote(dm.cdsSoli, QStringLiteral("GetSoli"), {codigo});
        }
        static const QSet<QString> testadas{QStringLiteral("004"), QStringLiteral("005"), QStringLiteral("006"),
                                            QStringLiteral("007")};
        QString lista = QStringLiteral("\r\n");
        bool algumaNaoTestada = false;
        const TField numero = dm.cdsSoli->FieldByName(kNrSoliServ);
        const TField referencia = dm.cdsSoli->FieldByName(kDsRefeSoli);
        const TField status = dm.cdsSoli->FieldByName(QStringLiteral("IDSTSOLIGRUP"));
        for (dm.cdsSoli->First(); !dm.cdsSoli->Eof(); dm.cdsSoli->Next()) {
            if (testadas.contains(status.AsString()))
                continue;
            algumaNaoTestada = true;
            lista += numero.AsString() + QStringLiteral(" - ") + referencia.AsString() + QStringLiteral("\r\n");
        }
        dm.cdsSoli->First();
        if (algumaNaoTestada)
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("SOLI_N_TESTADA"),
                                                {codigo + QStringLiteral(" - ") + dm.grupo(kDsGrupHomol), lista}),
                               true);
    });
}

void Verificacoes::VD_Volta_Grupo()
{
    discardingOnFailure(dm, [this] {
        Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("VALIDANDO_GRUPOS_RELEASE")));
        Dataset &aux = *dm.cdsGrupoAux;
        aux.CopyFrom(*dm.cdsGrupo);
        aux.ApplyFilter(QString());  // the whole list, whatever an earlier use left filtered
        const TField marcado = aux.FieldByName(kMarcado);
        const TField release = aux.FieldByName(kRelease);

        QString releaseMarcada;
        bool achou = false;
        for (aux.First(); !aux.Eof() && !achou; aux.Next()) {
            if (marcado.AsString() == u"S") {
                achou = true;
                releaseMarcada = release.AsString();
            }
        }
        if (!achou || Consiste::EmptyString(releaseMarcada))
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("SEM_RELEASE")), true);

        QString linhas;
        const TField codigo = aux.FieldByName(kCdGrupHomol);
        const TField nome = aux.FieldByName(kDsGrupHomol);
        for (aux.First(); !aux.Eof(); aux.Next()) {
            if (marcado.AsString() != u"S" && release.AsString() == releaseMarcada)
                linhas += codigo.AsString() + QStringLiteral(" - ") + nome.AsString() + QStringLiteral("\r\n");
        }
        if (!linhas.isEmpty()
            && dm.msgPadrao.ShowMsg(QStringLiteral("VOLTA_GRUPO"), {linhas}, DialogType::Warning, mbYes | mbNo) != mbYes)
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("USER_CANCEL")), true);
    });
}

// ====================================================================== a request being added

void Verificacoes::Vd_Release_Soli()
{
    // The three answers are used as they come, without the result check; one use of the
    // connection covers them all.
    HeldConnection held(dm);
    const QString numero = dm.cdsSoli->FieldByName(kNrSoliServ).AsString();
    const QString grupo = dm.cdsSoli->FieldByName(kCdGrupHomol).AsString();
    dm.cdsReleaseSoli->setData(dm.PacoteSemValidacao(QStringLiteral("GetReleaseSoli"), {numero}));
    dm.cdsVdReleaseSoli->setData(dm.PacoteSemValidacao(QStringLiteral("GetVdReleaseSoli"), {numero}));
    if (dm.cdsVdReleaseSoli->IsEmpty())
        return;

    dm.cdsReleaseSoli->First();
    const QString releaseSalva = dm.cdsReleaseSoli->FieldByName(kReleaseSoli).AsString();
    const QString arvore = dm.cdsReleaseSoli->FieldByName(QStringLiteral("CDARVPROD")).AsString();

    Dataset &outras = *dm.cdsVdReleaseSoli;
    const TField outroNumero = outras.FieldByName(kNrSoliServ);
    const TField outroResponsavel = outras.FieldByName(QStringLiteral("NMOPERADOR"));
    const TField outraFase = outras.FieldByName(QStringLiteral("DSSTFASETRAM"));
    const TField outraRelease = outras.FieldByName(kReleaseSoli);
    QString linhas;
    for (outras.First(); !outras.Eof(); outras.Next()) {
        dm.cdsVerificaSolicitaGrupo->setData(
            dm.PacoteSemValidacao(QStringLiteral("getVerificaSolicitaGrupo"), {outroNumero.AsString(), grupo}));
        if (!dm.cdsVerificaSolicitaGrupo->IsEmpty())
            continue;
        const QString release = outraRelease.AsString();
        bool menor;
        if (Consiste::EmptyString(releaseSalva)) {
            // Without a release of its own the request is of its product's version and release.
            menor = arvore.mid(1, 3) == release.left(3);
        } else {
            menor = releaseSalva.left(3) == release.left(3) && releaseSalva != release
                && releaseSalva.toLongLong() > release.toLongLong();
        }
        if (menor)
            linhas += outroNumero.AsString() + QStringLiteral(" - ") + outroResponsavel.AsString() + QStringLiteral(" - ")
                + outraFase.AsString() + QStringLiteral("\r\n");
    }
    outras.First();
    if (!linhas.isEmpty())
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("SOLI_REL_PATCH"), {linhas}), true);
}
