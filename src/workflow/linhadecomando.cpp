#include "workflow/linhadecomando.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostui.h"
#include "workflow/tramitacao.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

QString LinhaDeComando::uso()
{
    return QStringLiteral("Uso: homologa [--config ARQUIVO | --demo] groups [--json]\n"
                          "     homologa [--config ARQUIVO | --demo] advance GRUPO... [--yes] [--from FASE]\n"
                          "     homologa [--config ARQUIVO | --demo] log GRUPO\n"
                          "     homologa [--config ARQUIVO | --demo] unlock GRUPO [--yes]");
}

void LinhaDeComando::escreve(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int LinhaDeComando::executa(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("FASE"));
    parser.addOption(json);
    parser.addOption(yes);
    parser.addOption(from);
    if (!parser.parse(QStringList{QStringLiteral("homologa")} + arguments)) {
        escreve(m_errors, parser.errorText() + u'\n' + uso());
        return UsoInvalido;
    }
    const QStringList positional = parser.positionalArguments();
    const QString comando = positional.value(0);
    const QStringList resto = positional.mid(1);
    try {
        if (comando == u"groups" && resto.isEmpty() && !parser.isSet(yes) && !parser.isSet(from))
            return grupos(parser.isSet(json));
        static const QRegularExpression fase(QStringLiteral("^00[1-7]$"));
        const bool faseValida = !parser.isSet(from) || fase.match(parser.value(from)).hasMatch();
        if (comando == u"advance" && !resto.isEmpty() && !parser.isSet(json) && faseValida)
            return avanca(resto, parser.value(from));
        if (comando == u"log" && resto.size() == 1 && !parser.isSet(json) && !parser.isSet(yes) && !parser.isSet(from))
            return log(resto[0]);
        if (comando == u"unlock" && resto.size() == 1 && !parser.isSet(json) && !parser.isSet(from))
            return destrava(resto[0]);
    } catch (const EAbort &) {
        // The silent stop: the error, if any, has been shown already.
        return Falhou;
    } catch (...) {
        escreve(m_errors, QStringLiteral("Erro: ") + host::currentErrorText());
        return Falhou;
    }
    escreve(m_errors, uso());
    return UsoInvalido;
}

int LinhaDeComando::grupos(bool json)
{
    dm.GetInitialData();
    Dataset &grupos = *dm.cdsGrupo;
    const QStringList campos{QStringLiteral("CDGRUPHOMOL"), QStringLiteral("DSGRUPHOMOL"), QStringLiteral("CDARVPROD"),
                             QStringLiteral("NMPRODUTO"), QStringLiteral("IDSTGRUPHOM"), QStringLiteral("CDRELEASEGHOM")};
    QJsonArray lista;
    for (grupos.First(); !grupos.Eof(); grupos.Next()) {
        const QString fase = dm.statusGrupo();
        if (json) {
            QJsonObject grupo;
            for (const QString &campo : campos)
                grupo.insert(campo, grupos.FieldByName(campo).AsString());
            grupo.insert(QStringLiteral("status"), dm.textoStatusGrupo(fase));
            lista.append(grupo);
            continue;
        }
        escreve(m_output, QStringLiteral("%1  %2  %3 %4  %5 %6  %7")
                              .arg(dm.codigoGrupo(), dm.grupo(QStringLiteral("DSGRUPHOMOL")).leftJustified(40),
                                   dm.grupo(QStringLiteral("CDARVPROD")), dm.grupo(QStringLiteral("NMPRODUTO")), fase,
                                   dm.textoStatusGrupo(fase), dm.grupo(QStringLiteral("CDRELEASEGHOM"))));
    }
    if (json)
        escreve(m_output, QString::fromUtf8(QJsonDocument(lista).toJson(QJsonDocument::Indented)).trimmed());
    return Feito;
}

int LinhaDeComando::avanca(const QStringList &codigos, const QString &desde)
{
    dm.GetInitialData();
    dm.GetUserPass();
    if (!dm.boEditavel) {
        escreve(m_errors, QStringLiteral("Erro: o operador não pode alterar grupos de homologação."));
        return Falhou;
    }
    for (const QString &codigo : codigos) {
        if (!dm.LocalizaGrupo(codigo)) {
            escreve(m_errors, QStringLiteral("Erro: o grupo %1 não existe.").arg(codigo));
            return Falhou;
        }
    }
    // A job run again after its advance was carried out stops here, before anything is done.
    for (const QString &codigo : codigos) {
        dm.LocalizaGrupo(codigo);
        if (!desde.isEmpty() && dm.statusGrupo() != desde) {
            escreve(m_errors, QStringLiteral("Erro: o grupo %1 está na fase %2 \"%3\", e não na fase %4 \"%5\" pedida; "
                                             "nada foi feito.")
                                  .arg(codigo, dm.statusGrupo(), dm.textoStatusGrupo(dm.statusGrupo()), desde,
                                       dm.textoStatusGrupo(desde)));
            return Falhou;
        }
    }
    dm.LocalizaGrupo(codigos.first());
    const QString fase = dm.statusGrupo();
    if (fase == u"006") {
        // Marks live only on the screen: here the groups named are the marked ones, each
        // passing the screen's marking rule.
        for (const QString &codigo : codigos) {
            dm.LocalizaGrupo(codigo);
            if (dm.cdsGrupo->FieldByName(QStringLiteral("IDMARCADO")).AsString() == u"S")
                continue;
            if (!dm.PodeMarcarGrupo(true)) {
                if (dm.statusGrupo() != u"006")
                    escreve(m_errors, QStringLiteral("Erro: o grupo %1 não está na fase \"%2\".")
                                          .arg(codigo, dm.textoStatusGrupo(QStringLiteral("006"))));
                else
                    escreve(m_errors, QStringLiteral("Erro: o grupo %1 não pode ser marcado para homologação.").arg(codigo));
                return Falhou;
            }
            dm.MarcaGrupo();
        }
        // The advance starts, as on the screen, from a group under test.
        dm.LocalizaGrupo(codigos.first());
    } else if (codigos.size() > 1) {
        escreve(m_errors, QStringLiteral("Erro: só a homologação (fase 006) avança vários grupos de uma vez.\n") + uso());
        return UsoInvalido;
    } else if (fase == u"007") {
        escreve(m_errors, QStringLiteral("Erro: o grupo %1 está encerrado.").arg(codigos.first()));
        return Falhou;
    }
    const bool feita = Tramitacao(dm).btfAvancaFaseClick();
    return feita ? Feito : Falhou;
}

int LinhaDeComando::destrava(const QString &codigo)
{
    dm.GetInitialData();
    if (!dm.boEditavel) {
        escreve(m_errors, QStringLiteral("Erro: o operador não pode alterar grupos de homologação."));
        return Falhou;
    }
    if (!dm.LocalizaGrupo(codigo)) {
        escreve(m_errors, QStringLiteral("Erro: o grupo %1 não existe.").arg(codigo));
        return Falhou;
    }
    const QJsonArray trava = dm.ChamaServidor(QStringLiteral("getGroupLease"), {dm.codigoGrupo()}).toArray();
    if (trava.isEmpty()) {
        escreve(m_output, QStringLiteral("O grupo %1 não está em tramitação; nada a liberar.").arg(dm.codigoGrupo()));
        return Feito;
    }
    // Breaking the lease of an advance that is still running would let a second one start
    // beside it: the operator confirms that its holder is gone.
    const QString pergunta = trava.at(1).toString()
        + QStringLiteral("\r\nLibere o grupo só se essa tramitação foi interrompida (o processo não existe mais). "
                         "Deseja liberar o grupo %1?")
              .arg(dm.codigoGrupo());
    if (hostUi().showMessage(pergunta, DialogType::Confirmation, mbYes | mbNo) != mbYes)
        return Falhou;
    dm.ChamaServidor(QStringLiteral("breakGroupLease"), {dm.codigoGrupo(), trava.at(0).toString()});
    escreve(m_output, QStringLiteral("Grupo %1 liberado.").arg(dm.codigoGrupo()));
    return Feito;
}

int LinhaDeComando::log(const QString &codigo)
{
    Dataset logs(QStringLiteral("cdsLogTram"));
    logs.setData(TdmGrupSoliHom::Pacote(dm.ChamaServidor(QStringLiteral("getLogTram"), {codigo}), QStringLiteral("getLogTram")));
    if (logs.IsEmpty())
        escreve(m_output, QStringLiteral("O grupo %1 não tem logs de tramitação.").arg(codigo));
    for (logs.First(); !logs.Eof(); logs.Next()) {
        escreve(m_output, QStringLiteral("== %1  %2 -> %3  operador %4")
                              .arg(logs.FieldByName(QStringLiteral("DTLOGTRAM")).AsString(),
                                   logs.FieldByName(QStringLiteral("IDSTGRUPANT")).AsString(),
                                   logs.FieldByName(QStringLiteral("IDSTGRUPNOVO")).AsString(),
                                   logs.FieldByName(QStringLiteral("CDOPERADOR")).AsString()));
        escreve(m_output, QString(logs.FieldByName(QStringLiteral("TXLOGTRAM")).AsString())
                              .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                              .trimmed());
    }
    return Feito;
}
