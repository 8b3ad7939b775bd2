#include "workflow/operacao.h"

#include "datamodule/dmgrupsolihom.h"
#include "datamodule/travagrupo.h"
#include "host/consiste.h"
#include "host/errors.h"
#include "host/hostsettings.h"
#include "platform/process.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QTimer>

#include <csignal>
#include <cstdlib>

namespace {

// How often a run renews its leases (the server's expiry is several times longer).
int intervaloDeRenovacaoMs()
{
    const int segundos = qEnvironmentVariableIntValue("HOMOLOGA_RENOVA_TRAVA_S");
    return (segundos > 0 ? segundos : 60) * 1000;
}

// A call on the data module's connection with the operation's token, its answer checked.
QJsonValue Chama(TdmGrupSoliHom &dm, const QString &metodo, const QList<RemoteArg> &args)
{
    return dm.ChamaServidor(metodo, args);
}

QJsonValue ArgumentoJson(const RemoteArg &arg)
{
    if (QString *referencia = arg.reference())
        return *referencia;
    return arg.json();
}

// The tokens of the runs alive in this process: a lease of this process with another token
// belongs to a run that ended without giving it back (its server went away).
QSet<QString> &tokensVivos()
{
    static QSet<QString> tokens;
    return tokens;
}

}  // namespace

std::pair<QString, qint64> Operacao::EstacaoEProcesso(const QString &estacao)
{
    static const QRegularExpression forma(QStringLiteral("^(.*) \\(processo (\\d+)\\)$"));
    const QRegularExpressionMatch match = forma.match(estacao.trimmed());
    if (!match.hasMatch())
        return {QString(), 0};
    return {match.captured(1), match.captured(2).toLongLong()};
}

Operacao::Operacao(TdmGrupSoliHom &dm, Modo modo) : dm(dm), m_modo(modo) {}

std::unique_ptr<Operacao> Operacao::ParaNomear(TdmGrupSoliHom &dm)
{
    return std::unique_ptr<Operacao>(new Operacao(dm, Modo::Nomeia));
}

std::unique_ptr<Operacao> Operacao::Direta(TdmGrupSoliHom &dm)
{
    return std::unique_ptr<Operacao>(new Operacao(dm, Modo::Direta));
}

std::optional<Operacao::Aberta> Operacao::Procura(TdmGrupSoliHom &dm, const QString &grupo)
{
    const QJsonArray resposta = dm.ChamaServidor(QStringLiteral("getOperacaoAberta"), {grupo}).toArray();
    if (resposta.size() < 13)
        return std::nullopt;
    Aberta aberta;
    aberta.id = resposta[0].toString();
    aberta.descricao = resposta[1].toString();
    aberta.fase = resposta[2].toString();
    aberta.grupos = resposta[3].toString().split(u',', Qt::SkipEmptyParts);
    aberta.operador = resposta[4].toString();
    aberta.estacao = resposta[5].toString();
    aberta.inicio = resposta[6].toString();
    aberta.descrita = resposta[8].toString();
    aberta.plano = QJsonDocument::fromJson(resposta[9].toString().toUtf8()).object();
    for (const QJsonValue &passo : resposta[10].toArray()) {
        aberta.feitos.append(passo.toArray().at(1).toString() == u"F");
        aberta.resultados.append(passo.toArray().at(2).toString());
    }
    aberta.tokenDaTrava = resposta[11].toString();
    const QString trava = resposta[12].toString();
    aberta.travaDescrita = trava.section(u'\x1f', 0, 0);
    aberta.estacaoDaTrava = trava.section(u'\x1f', 1);
    return aberta;
}

std::unique_ptr<Operacao> Operacao::Abre(TdmGrupSoliHom &dm, const QStringList &grupos, const QString &fase,
                                         const QString &descricao, const QJsonObject &plano, const QStringList &passos,
                                         const QString &travaInicial)
{
    std::unique_ptr<Operacao> operacao(new Operacao(dm, Modo::Guardada));
    operacao->m_grupos = grupos;
    operacao->m_plano = plano;
    operacao->m_token = dm.ChamaServidor(QStringLiteral("abreOperacao"),
                                         {grupos.join(u','), fase, Horvane::Operador(), TravaDeGrupos::Estacao(), descricao,
                                          QString::fromUtf8(QJsonDocument(plano).toJson(QJsonDocument::Compact)),
                                          passos.join(u'\n'), travaInicial})
                            .toString();
    for (int i = 0; i < passos.size(); ++i) {
        operacao->m_feitos.append(false);
        operacao->m_resultados.append(QString());
    }
    operacao->m_nomes.clear();
    tokensVivos().insert(operacao->m_token);
    return operacao;
}

std::unique_ptr<Operacao> Operacao::Retoma(TdmGrupSoliHom &dm, const Aberta &aberta)
{
    // A lease held by a process of this machine that no longer runs is its run's: taken over
    // without anyone breaking it by hand.
    QString substitui;
    const auto [estacao, processo] = EstacaoEProcesso(aberta.estacaoDaTrava);
    const bool morto = processo == QCoreApplication::applicationPid() ? !tokensVivos().contains(aberta.tokenDaTrava)
                                                                      : !platform::processAlive(processo);
    if (!aberta.tokenDaTrava.isEmpty() && estacao == QSysInfo::machineHostName() && morto)
        substitui = aberta.tokenDaTrava;
    std::unique_ptr<Operacao> operacao(new Operacao(dm, Modo::Guardada));
    operacao->m_grupos = aberta.grupos;
    operacao->m_plano = aberta.plano;
    operacao->m_feitos = aberta.feitos;
    operacao->m_resultados = aberta.resultados;
    operacao->m_token = dm.ChamaServidor(QStringLiteral("retomaOperacao"),
                                         {aberta.id, Horvane::Operador(), TravaDeGrupos::Estacao(), substitui})
                            .toString();
    tokensVivos().insert(operacao->m_token);
    return operacao;
}

Operacao::~Operacao()
{
    if (m_token.isEmpty())
        return;
    tokensVivos().remove(m_token);
    if (m_renovacao)
        TravaDeGrupos::MarcaTravadosAqui(m_grupos, -1);
    m_renovacao.reset();
    dm.netGrupSoliHom.setOperation(QString());
    // Given back whichever way the run ends; a lease that cannot be given back runs out.
    dm.Chama(QStringLiteral("liberaOperacao"), {m_token});
}

void Operacao::Renova()
{
    if (!m_perdida.isEmpty())
        return;
    const ServerAnswer resposta = dm.Chama(QStringLiteral("renovaOperacao"), {m_token});
    // A failed renewal of an unreachable server is told by the next step's own call.
    if (!resposta.ok && resposta.error.contains(QStringLiteral("perdeu a trava")))
        m_perdida = resposta.error;
}

bool Operacao::AindaTravada()
{
    if (m_modo != Modo::Guardada)
        return true;
    Renova();
    return m_perdida.isEmpty();
}

void Operacao::PodeContinuar()
{
    if (const int sinal = platform::interruption())
        Consiste::MensErro(QStringLiteral("A operação foi interrompida (%1) antes do passo \"%2\"; ela continua em aberto e "
                                          "o mesmo comando a continua.")
                               .arg(sinal == 2 ? QStringLiteral("Ctrl-C") : QStringLiteral("sinal %1").arg(sinal),
                                    m_nomes.value(m_contador - 1)),
                           true);
    Renova();
    if (!m_perdida.isEmpty())
        Consiste::MensErro(m_perdida, true);
}

// A way for tests to stop a run at a step boundary as a kill would: HOMOLOGA_PARADA=N ends
// the process right after step N was stored as done, "N-" right after its work and before
// its server writes; "int:N" sends the process a SIGINT (a Ctrl-C) right after step N.
// Unset in every real run.
void Operacao::ParadaDeTeste(int passo, bool concluido) const
{
    static const QByteArray parada = qgetenv("HOMOLOGA_PARADA");
    if (parada.isEmpty())
        return;
    if (parada == QByteArray::number(passo) + (concluido ? "" : "-"))
        std::_Exit(137);
    if (concluido && parada == "int:" + QByteArray::number(passo))
        std::raise(SIGINT);
}

int Operacao::NumeroDoPasso(const QString &nome) const { return int(m_nomes.indexOf(nome)) + 1; }

QString Operacao::Passo(const QString &nome, const std::function<QString(QList<Chamada> &)> &trabalho)
{
    const int passo = ++m_contador;
    m_nomes.append(nome);
    if (m_modo == Modo::Nomeia)
        return {};
    if (m_modo == Modo::Guardada) {
        if (passo > m_feitos.size())
            throw EHomologa(QStringLiteral("O plano da operação não tem o passo %1 (%2); nada foi feito nele.").arg(passo).arg(nome));
        if (m_feitos[passo - 1])
            return m_resultados[passo - 1];
        if (!m_renovacao) {
            dm.netGrupSoliHom.setOperation(m_token);
            TravaDeGrupos::MarcaTravadosAqui(m_grupos, +1);
            m_renovacao = std::make_unique<QTimer>();
            QObject::connect(m_renovacao.get(), &QTimer::timeout, [this] { Renova(); });
            m_renovacao->start(intervaloDeRenovacaoMs());
        }
        PodeContinuar();
    }
    QList<Chamada> chamadas;
    const QString resultado = trabalho(chamadas);
    if (m_modo == Modo::Direta) {
        for (const Chamada &chamada : std::as_const(chamadas))
            dm.ChamaServidor(chamada.metodo, chamada.args);
        return resultado;
    }
    ParadaDeTeste(passo, false);
    QJsonArray gravacoes;
    for (const Chamada &chamada : std::as_const(chamadas)) {
        QJsonArray args;
        for (const RemoteArg &arg : chamada.args)
            args.append(ArgumentoJson(arg));
        gravacoes.append(QJsonObject{{QStringLiteral("m"), chamada.metodo}, {QStringLiteral("a"), args}});
    }
    const QJsonArray resposta = TdmGrupSoliHom::Lista(
        Chama(dm, QStringLiteral("concluiPasso"),
              {m_token, QString::number(passo), resultado,
               QString::fromUtf8(QJsonDocument(gravacoes).toJson(QJsonDocument::Compact))}),
        QStringLiteral("concluiPasso"), 3);
    // The in-out arguments as the server left them.
    const QJsonArray saidas = resposta[2].toArray();
    for (int i = 0; i < chamadas.size() && i < saidas.size(); ++i) {
        const QJsonArray saida = saidas[i].toArray();
        for (int j = 0; j < chamadas[i].args.size() && j < saida.size(); ++j) {
            if (QString *referencia = chamadas[i].args[j].reference(); referencia && saida[j].isString())
                *referencia = saida[j].toString();
        }
    }
    m_feitos[passo - 1] = true;
    m_resultados[passo - 1] = resposta[1].toString();
    ParadaDeTeste(passo, true);
    return m_resultados[passo - 1];
}

void Operacao::Grava(const QString &nome, const QList<Chamada> &chamadas)
{
    Passo(nome, [&](QList<Chamada> &gravacoes) {
        gravacoes = chamadas;
        return QString();
    });
}

void Operacao::Reabre(const QString &nome)
{
    const int passo = NumeroDoPasso(nome);
    if (m_modo != Modo::Guardada || passo <= 0)
        return;
    dm.ChamaServidor(QStringLiteral("reabrePasso"), {m_token, QString::number(passo)});
    m_feitos[passo - 1] = false;
}

bool Operacao::Feito(const QString &nome) const
{
    const int passo = NumeroDoPasso(nome);
    return passo > 0 && passo <= m_feitos.size() && m_feitos[passo - 1];
}

void Operacao::Abandona()
{
    if (m_modo != Modo::Guardada)
        return;
    dm.ChamaServidor(QStringLiteral("abandonaOperacao"), {m_token});
}
