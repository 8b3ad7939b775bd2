// The datasets of the homologation screen with their fields, sizes, labels and display.

#include "datamodule/dmgrupsolihom.h"

namespace {

using packet::FieldType;

FieldDef text(const QString &name, int size, const QString &label = {}, bool visible = true)
{
    return FieldDef(name, FieldType::String, size, label, visible);
}
FieldDef hidden(const QString &name, int size, const QString &label = {})
{
    return FieldDef(name, FieldType::String, size, label, false);
}
FieldDef dateTime(const QString &name, const QString &label = {}, bool visible = true)
{
    return FieldDef(name, FieldType::DateTime, 0, label, visible);
}

QList<FieldDef> grupoFields()
{
    FieldDef marcado(QStringLiteral("IDMARCADO"), FieldType::FixedString, 1, {}, false);
    FieldDef arvore = hidden(QStringLiteral("CDARVPROD"), 20, QStringLiteral("Produto"));
    arvore.editMask = QStringLiteral("A.A.AA;0; ");
    FieldDef release = text(QStringLiteral("CDRELEASEGHOM"), 10, QStringLiteral("Release"));
    release.editMask = QStringLiteral("9.99.999;0; ");
    return {marcado,
            arvore,
            hidden(QStringLiteral("CDPRODUTO"), 10, QStringLiteral("Produto")),
            text(QStringLiteral("CDGRUPHOMOL"), 10, QStringLiteral("Código")),
            text(QStringLiteral("DSGRUPHOMOL"), 50, QStringLiteral("Nome do Grupo")),
            release,
            text(QStringLiteral("IDSTGRUPHOM"), 3, QStringLiteral("Status")),
            dateTime(QStringLiteral("DTCRIAGRHOM"), QStringLiteral("Data de criação"), false),
            text(QStringLiteral("NMPRODUTO"), 50, QStringLiteral("Produto")),
            dateTime(QStringLiteral("DTULTATUGHOM"), {}, false),
            dateTime(QStringLiteral("DTHRGERAGRUPSOL"), QStringLiteral("Data de geração")),
            dateTime(QStringLiteral("DTHRHOMOGRUPSOL"), QStringLiteral("Data de homologação"))};
}

QList<FieldDef> soliFields(bool withSubject)
{
    QList<FieldDef> fields = {text(QStringLiteral("NMOPERADOR"), 40, QStringLiteral("Responsável")),
                              text(QStringLiteral("MODELAGEM"), 3, QStringLiteral("Modelagem")),
                              hidden(QStringLiteral("CDFASETRAM"), 3),
                              hidden(QStringLiteral("CDGRUPHOMOL"), 10),
                              hidden(QStringLiteral("CDFILIAL"), 4),
                              text(QStringLiteral("NRSOLISERV"), 10, QStringLiteral("Número")),
                              text(QStringLiteral("IDSTSOLIGRUP"), 3, QStringLiteral("Status")),
                              text(QStringLiteral("DSREFESOLI"), 60, QStringLiteral("Referência")),
                              text(QStringLiteral("TXOBSOLIGER"), 250, QStringLiteral("Obs. Geral")),
                              text(QStringLiteral("NRPRIOSOLI"), 3),
                              text(QStringLiteral("IDHOMOLSOL"), 1, QStringLiteral("Homologar")),
                              text(QStringLiteral("IDRETSOLERROPRO"), 1, QStringLiteral("Voltar erro")),
                              text(QStringLiteral("IDENCSOLPATCREG"), 1, QStringLiteral("Regerar"))};
    if (withSubject)
        fields.append(hidden(QStringLiteral("CDASSUNTO"), 5));
    return fields;
}

QList<FieldDef> arqFields()
{
    return {hidden(QStringLiteral("CDFILIAL"), 4, QStringLiteral("Filial")),
            text(QStringLiteral("NRSOLISERV"), 10, QStringLiteral("Solicitação")),
            text(QStringLiteral("DSDIRARQCHECKOU"), 250, QStringLiteral("Arquivo")),
            text(QStringLiteral("CDRELEASEARQANT"), 10, QStringLiteral("Release Anterior")),
            text(QStringLiteral("CDRELEASEARQATU"), 10, QStringLiteral("Release Atual"))};
}

QList<FieldDef> arqLibFields()
{
    return {hidden(QStringLiteral("CDFILIAL"), 4, QStringLiteral("Filial")),
            text(QStringLiteral("NRSOLISERV"), 10, QStringLiteral("Solicitação")),
            text(QStringLiteral("DSARQPATCH"), 250, QStringLiteral("Arquivo Origem")),
            hidden(QStringLiteral("CDVERPRODUTO"), 10),
            hidden(QStringLiteral("CDRELVERPROD"), 10),
            hidden(QStringLiteral("CDPATCHVERPR"), 10, QStringLiteral("Versão")),
            hidden(QStringLiteral("NRSEQPATCH"), 3),
            hidden(QStringLiteral("IDARQESPECLIE"), 1, QStringLiteral("Específico")),
            text(QStringLiteral("DSDIRDESTHOM"), 250, QStringLiteral("Arquivo Homologação"))};
}

QList<FieldDef> arqSoliFields()
{
    return {text(QStringLiteral("CDFILIAL"), 4),        text(QStringLiteral("NRSOLISERV"), 10),
            text(QStringLiteral("DSARQPATCH"), 250),    text(QStringLiteral("DSDIRDSTARQESPCLI"), 250),
            text(QStringLiteral("DSDIRDESTARQ"), 250),  text(QStringLiteral("IDARQESPECLIE"), 1)};
}

QList<FieldDef> arqModifAtuFields()
{
    return {text(QStringLiteral("DSDIRARQCHECKOU"), 250), text(QStringLiteral("CDRELEASEARQANT"), 10),
            text(QStringLiteral("CDRELEASEARQATU"), 10), text(QStringLiteral("DIRETORIO"), 250),
            text(QStringLiteral("URL"), 250)};
}

QList<FieldDef> arqSoliWebFields()
{
    return {text(QStringLiteral("CDFILIAL"), 4), text(QStringLiteral("NRSOLISERV"), 10),
            text(QStringLiteral("DSARQPATCH"), 250), text(QStringLiteral("DSDIRDESTARQ"), 250)};
}

}  // namespace

void TdmGrupSoliHom::CriaDatasets()
{
    const auto make = [this](const char *name, const QList<FieldDef> &fields) {
        auto *dataset = new Dataset(QString::fromLatin1(name), this);
        dataset->setFields(fields);
        dataset->CreateDataSet();
        return dataset;
    };

    cdsGrupo = make("cdsGrupo", grupoFields());
    cdsSoli = make("cdsSoli", soliFields(true));
    cdsArq = make("cdsArq", arqFields());
    cdsArqLib = make("cdsArqLib", arqLibFields());
    cdsArqLib->setIndexFieldNames(QStringLiteral("NRSOLISERV"));
    cdsArqSoli = make("cdsArqSoli", arqSoliFields());
    cdsAuxArqSoli = make("cdsAuxArqSoli", arqSoliFields());

    cdsProd = make("cdsProd", {text(QStringLiteral("CDARVPROD"), 20, QStringLiteral("Arvore")),
                               text(QStringLiteral("NMPRODUTO"), 50, QStringLiteral("Produto")),
                               text(QStringLiteral("CDPRODUTO"), 10, QStringLiteral("Código"))});
    cdsSoliDisp = make("cdsSoliDisp", {hidden(QStringLiteral("CDFILIAL"), 4),
                                       text(QStringLiteral("NRSOLISERV"), 10, QStringLiteral("Número")),
                                       text(QStringLiteral("DSREFESOLI"), 60, QStringLiteral("Referência")),
                                       text(QStringLiteral("TXOBSOLIGER"), 250, QStringLiteral("Obs. Geral"))});

    cdsGrupoAux = make("cdsGrupoAux", grupoFields());
    cdsSoliAux = make("cdsSoliAux", soliFields(true));
    cdsSoliAuxRel = make("cdsSoliAuxRel", soliFields(false));
    cdsArqAux = make("cdsArqAux", arqFields());
    cdsAgrupaSoli = make("cdsAgrupaSoli", {text(QStringLiteral("CDFILIAL"), 4), text(QStringLiteral("NRSOLISERV"), 10),
                                           text(QStringLiteral("NRSEQAGRUPASOLI"), 10)});
    cdsVerifSoliGrupModel = make("cdsVerifSoliGrupModel",
                                 {text(QStringLiteral("CDGRUPHOMOL"), 10), text(QStringLiteral("NRSOLISERV"), 4000)});
    cdsVdSoli = make("cdsVdSoli", {text(QStringLiteral("CDFASETRAM"), 3), text(QStringLiteral("CDGRUPHOMOL"), 10),
                                   text(QStringLiteral("CDFILIAL"), 4), text(QStringLiteral("NRSOLISERV"), 10),
                                   text(QStringLiteral("DSREFESOLI"), 60), text(QStringLiteral("TXOBSOLIGER"), 250),
                                   text(QStringLiteral("DSGRUPHOMOL"), 50)});
    cdsItemTrabDesenv = make("cdsItemTrabDesenv", {text(QStringLiteral("NRSOLISERV"), 10),
                                                   text(QStringLiteral("CDFASETRAM"), 3),
                                                   text(QStringLiteral("DSREFESOLI"), 60)});
    cdsVdJust = make("cdsVdJust", {text(QStringLiteral("CDFILIAL"), 4), text(QStringLiteral("CDGRUPHOMOL"), 10),
                                   text(QStringLiteral("NRSOLISERV"), 10), text(QStringLiteral("CDOPERADOR"), 12),
                                   FieldDef(QStringLiteral("DSALTPROCHOMOL"), FieldType::Blob)});
    cdsVDDepSoli = make("cdsVDDepSoli", {text(QStringLiteral("CDFILIAL"), 4),
                                         text(QStringLiteral("NRSOLISERV"), 10, QStringLiteral("Número")),
                                         text(QStringLiteral("DSREFESOLI"), 60, QStringLiteral("Referência"))});
    cdsVDDepArq = make("cdsVDDepArq", {text(QStringLiteral("DSDIRARQCHECKOU"), 250, QStringLiteral("Arquivo"))});
    cdsArqModifAtu = make("cdsArqModifAtu", arqModifAtuFields());
    cdsVersArq = make("cdsVersArq", arqModifAtuFields());
    cdsVd_ReleaseArq = make("cdsVd_ReleaseArq",
                            {text(QStringLiteral("GRUPOHOMOL"), 24), text(QStringLiteral("NRSOLISERV"), 10),
                             text(QStringLiteral("NRTAREFA"), 10), text(QStringLiteral("NRPLATIVTARE"), 5),
                             text(QStringLiteral("DSDIRARQCHECKOU"), 250), text(QStringLiteral("HOMOLOG"), 10),
                             text(QStringLiteral("DESENV"), 10)});
    cdsVerificaArquivos = make("cdsVerificaArquivos", {FieldDef(QStringLiteral("IDENTIFICA"), FieldType::FixedString, 1),
                                                       text(QStringLiteral("NRSOLISERV"), 10)});
    cdsVerificaProduto = make("cdsVerificaProduto", {text(QStringLiteral("DSDIRBASEVER"), 250)});
    cdsdatagpatch = make("cdsdatagpatch", {text(QStringLiteral("DTULTIMOUPDATE"), 16)});
    cdsVersArqFonteHom = make("cdsVersArqFonteHom",
                              {text(QStringLiteral("CDGRUPHOMOL"), 10), text(QStringLiteral("DSARQSVNHOMOL"), 250),
                               text(QStringLiteral("NRREVANTARQSVN"), 10), text(QStringLiteral("NRREVATUARQSVN"), 10)});
    cdsSoliNaoGerada = make("cdsSoliNaoGerada", {text(QStringLiteral("CDFILIAL"), 4),
                                                 text(QStringLiteral("NRSOLISERV"), 10),
                                                 text(QStringLiteral("DSREFESOLI"), 60)});
    cdssolisemgerar = make("cdssolisemgerar",
                           {text(QStringLiteral("CDFILIAL"), 4), text(QStringLiteral("NRSOLISERV"), 10),
                            text(QStringLiteral("DSARQPATCH"), 250), text(QStringLiteral("CDVERPRODUTO"), 10),
                            text(QStringLiteral("CDRELVERPROD"), 10), text(QStringLiteral("CDPATCHVERPR"), 10),
                            text(QStringLiteral("NRSEQPATCH"), 3), text(QStringLiteral("IDARQESPECLIE"), 1)});
    cdsArqSoliCons = make("cdsArqSoliCons", {text(QStringLiteral("DSDIRDESTARQ"), 250)});
    cdsArqCons = make("cdsArqCons", {text(QStringLiteral("DSDIRDESTARQ"), 250)});
    cdsVdReleaseSoli = make("cdsVdReleaseSoli",
                            {text(QStringLiteral("NRSOLISERV"), 10), text(QStringLiteral("DSSTFASETRAM"), 50),
                             text(QStringLiteral("NMOPERADOR"), 40), text(QStringLiteral("CDRELEASESOLI"), 10)});
    cdsReleaseSoli = make("cdsReleaseSoli", {text(QStringLiteral("NRSOLISERV"), 10),
                                             text(QStringLiteral("CDRELEASESOLI"), 10),
                                             text(QStringLiteral("CDARVPROD"), 20)});
    cdsVerificaSolicitaGrupo = make("cdsVerificaSolicitaGrupo",
                                    {text(QStringLiteral("NRSOLISERV"), 10), text(QStringLiteral("CDGRUPHOMOL"), 10)});
    cdsArqSoliAsp = make("cdsArqSoliAsp", arqSoliWebFields());
    cdsArqSoliSetForms = make("cdsArqSoliSetForms", arqSoliWebFields());

    // Display: status codes by their names, the client-specific flag in words, the version
    // composed of its three parts.
    cdsGrupo->fieldDef(QStringLiteral("IDSTGRUPHOM")).onGetText = [this](const RowView &, const QVariant &value) {
        return textoStatusGrupo(Dataset::valueText(value));
    };
    cdsSoli->fieldDef(QStringLiteral("IDSTSOLIGRUP")).onGetText = [this](const RowView &, const QVariant &value) {
        return textoStatusSoli(Dataset::valueText(value));
    };
    cdsArqLib->fieldDef(QStringLiteral("IDARQESPECLIE")).onGetText = [](const RowView &, const QVariant &value) {
        return textoEspecifico(Dataset::valueText(value));
    };
    cdsArqLib->fieldDef(QStringLiteral("CDPATCHVERPR")).onGetText = [](const RowView &row, const QVariant &value) {
        return textoVersao(row.AsString(QStringLiteral("CDVERPRODUTO")), row.AsString(QStringLiteral("CDRELVERPROD")),
                           Dataset::valueText(value));
    };
}

QList<Dataset *> TdmGrupSoliHom::datasets() const
{
    return {cdsGrupo,          cdsSoli,           cdsArq,           cdsArqLib,           cdsArqSoli,
            cdsAuxArqSoli,     cdsProd,           cdsSoliDisp,      cdsGrupoAux,         cdsSoliAux,
            cdsSoliAuxRel,     cdsArqAux,         cdsAgrupaSoli,    cdsVerifSoliGrupModel, cdsVdSoli,
            cdsItemTrabDesenv, cdsVdJust,         cdsVDDepSoli,     cdsVDDepArq,         cdsArqModifAtu,
            cdsVersArq,        cdsVd_ReleaseArq,  cdsVerificaArquivos, cdsVerificaProduto, cdsdatagpatch,
            cdsVersArqFonteHom, cdsSoliNaoGerada, cdssolisemgerar,  cdsArqSoliCons,      cdsArqCons,
            cdsVdReleaseSoli,  cdsReleaseSoli,    cdsVerificaSolicitaGrupo, cdsArqSoliAsp, cdsArqSoliSetForms};
}

QString TdmGrupSoliHom::textoStatusGrupo(const QString &code) const
{
    return code.isEmpty() ? QString() : msgStatus.Msg(code);
}

QString TdmGrupSoliHom::textoStatusSoli(const QString &code) const
{
    return code.isEmpty() ? QString() : msgStatusSoli.Msg(code);
}

QString TdmGrupSoliHom::textoEspecifico(const QString &flag)
{
    if (flag == u"S")
        return QStringLiteral("Sim");
    if (flag == u"N")
        return QStringLiteral("Não");
    return {};
}

QString TdmGrupSoliHom::textoVersao(const QString &version, const QString &release, const QString &patch)
{
    if (version.isEmpty() && release.isEmpty() && patch.isEmpty())
        return {};
    return version + u'.' + release + u'.' + patch;
}
