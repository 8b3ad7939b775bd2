#include "workflow/linhadecomando.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostui.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "promotion/copiatrabalho.h"
#include "promotion/prehomologados.h"
#include "workflow/homologacao.h"
#include "workflow/operacao.h"
#include "workflow/tramitacao.h"
#include "workflow/verificacoes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

// The commands, as data: the usage is written from it and the parse checks against it.
struct Comando {
    QString nome;
    QString sinopse;
    QString descricao;
    QStringList opcoes;  // "--name", or "--name VALUE" for one that takes a value
    int minimo;   // positional arguments
    int maximo;   // -1: any number
};

const QList<Comando> &comandos()
{
    static const QList<Comando> lista{
        {QStringLiteral("groups"), QStringLiteral("groups [--json]"),
         QStringLiteral("Lista todos os grupos, encerrados inclusive: código, nome, produto, fase e release\n"
                        "(--json: para outro programa ler)."),
         {QStringLiteral("--json")}, 0, 0},
        {QStringLiteral("advance"), QStringLiteral("advance GRUPO... [--yes] [--send-back] [--from FASE] | advance GRUPO... --check"),
         QStringLiteral("Avança o grupo da sua fase para a seguinte, como o botão Avançar da tela. Na fase\n"
                        "\"006\" homologa: os grupos citados são os marcados, e cada um deve poder ser marcado.\n"
                        "Cada pergunta é escrita com a resposta dada. Sem opção, as perguntas são feitas no\n"
                        "terminal (s ou n; sem resposta vale n).\n"
                        "  --yes        responde sim às perguntas da própria tramitação\n"
                        "  --send-back  responde sim à pergunta que devolve outros grupos da mesma release à\n"
                        "               fase \"Pendente\" (seus testes são perdidos); com --yes e sem\n"
                        "               --send-back a homologação para antes de qualquer trabalho\n"
                        "  --check      faz só as verificações da tramitação e diz o que seria feito\n"
                        "  --from FASE  recusa (saída 1, nada feito) quando um grupo citado não está na FASE\n"
                        "               (001 a 007): um job executado duas vezes avança uma vez só"),
         {QStringLiteral("--yes"), QStringLiteral("--send-back"), QStringLiteral("--check"), QStringLiteral("--from FASE")}, 1, -1},
        {QStringLiteral("log"), QStringLiteral("log GRUPO"),
         QStringLiteral("Mostra os logs de tramitação gravados do grupo."), {}, 1, 1},
        {QStringLiteral("unlock"), QStringLiteral("unlock GRUPO [--yes]"),
         QStringLiteral("Libera o grupo de uma tramitação interrompida (o processo que a fazia não existe mais),\n"
                        "depois de uma pergunta que diz quem a fazia e desde quando (--yes: responde sim)."),
         {QStringLiteral("--yes")}, 1, 1},
        {QStringLiteral("where"), QStringLiteral("where"),
         QStringLiteral("Mostra o arquivo de configuração, a base de dados, as pastas de cada unidade lógica e\n"
                        "os locais de cada produto com suas pastas e URLs reais."),
         {}, 0, 0},
        {QStringLiteral("help"), QStringLiteral("help [COMANDO]"), QStringLiteral("Mostra este texto, ou o do comando."),
         {}, 0, 1},
    };
    return lista;
}

const Comando *comando(const QString &nome)
{
    for (const Comando &c : comandos()) {
        if (c.nome == nome)
            return &c;
    }
    return nullptr;
}

const QString kSaidas = QStringLiteral(
    "Código de saída:\n"
    "  0  feito (com --check: a tramitação pode ser feita)\n"
    "  1  recusado pelas verificações, pergunta respondida não, ou falha (o motivo vai para a saída de erros)\n"
    "  2  uso inválido: comando ou opção desconhecida, opções em conflito, grupo que não existe");

QString respostaEscrita(int resposta) { return resposta == mbYes ? QStringLiteral("s") : QStringLiteral("n"); }

// The HostUi of one command: the options answer the questions they cover and every
// question is written with the answer taken; everything else goes to the HostUi in force.
class Respostas : public HostUi {
public:
    Respostas(HostUi &ui, const LinhaDeComando::Pedido &pedido, const QString &perguntaDeDevolucao)
        : m_ui(ui), m_pedido(pedido), m_devolucao(perguntaDeDevolucao)
    {
    }

    int showMessage(const QString &text, DialogType type, int buttons) override
    {
        if (!(buttons & (mbYes | mbNo)))
            return m_ui.showMessage(text, type, buttons);
        const bool devolve = !m_devolucao.isEmpty() && text.startsWith(m_devolucao);
        if (devolve)
            gruposDevolvidos = true;
        int resposta = mbNo;
        QString porque;
        if (m_pedido.verifica) {
            // The checks go on to their end; nothing is done whatever the answer.
            resposta = mbYes;
            porque = devolve ? QStringLiteral(" (--check; para fazer: --send-back)") : QStringLiteral(" (--check)");
        } else if (devolve && m_pedido.devolve) {
            resposta = mbYes;
            porque = QStringLiteral(" (--send-back)");
        } else if (devolve && m_pedido.sim) {
            faltouDevolve = true;
            porque = QStringLiteral(" (--yes não responde esta pergunta: falta --send-back)");
        } else if (!devolve && m_pedido.sim) {
            resposta = mbYes;
            porque = QStringLiteral(" (--yes)");
        } else {
            resposta = m_ui.showMessage(text, type, buttons);
            m_ui.logLine(QStringLiteral("Resposta: ") + respostaEscrita(resposta));
            if (resposta != mbYes)
                recusada = true;
            return resposta;
        }
        // Written as a line of the operation's log, in order with the lines of the work.
        m_ui.logLine(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + QStringLiteral(" [s/n] ")
                  + respostaEscrita(resposta) + porque);
        if (resposta != mbYes)
            recusada = true;
        return resposta;
    }
    void showDetailError(const QString &text, const QString &detail) override { m_ui.showDetailError(text, detail); }
    void showBusy(const QString &caption) override { m_ui.showBusy(caption); }
    void hideBusy() override { m_ui.hideBusy(); }
    bool pickFromList(Dataset &dataset, const QString &caption) override { return m_ui.pickFromList(dataset, caption); }
    bool findInDataset(Dataset &dataset) override { return m_ui.findInDataset(dataset); }
    bool headless() const override { return true; }
    void logLine(const QString &line) override { m_ui.logLine(line); }
    void progress(const QString &text) override { m_ui.progress(text); }

    bool recusada = false;
    bool faltouDevolve = false;
    bool gruposDevolvidos = false;

private:
    HostUi &m_ui;
    const LinhaDeComando::Pedido &m_pedido;
    QString m_devolucao;
};

}  // namespace

// ====================================================================== usage and parse

QString LinhaDeComando::uso(const QString &nome)
{
    if (const Comando *c = comando(nome))
        return QStringLiteral("Uso: homologa [--config ARQUIVO | --demo] %1\n\n%2\n\n%3").arg(c->sinopse, c->descricao, kSaidas);
    QString texto = QStringLiteral(
        "Uso: homologa [--config ARQUIVO | --demo [--reset]] COMANDO [ARGUMENTOS] [OPÇÕES]\n"
        "     homologa [--config ARQUIVO | --demo [--reset]] [--open]   (abre a janela)\n"
        "     homologa --help | help [COMANDO]\n"
        "\n"
        "Opções do programa, antes do comando:\n"
        "  --config ARQUIVO  o arquivo de configuração, que deve existir (padrão:\n"
        "                    ~/.config/homologa/homologa.ini)\n"
        "  --demo            o espaço de demonstração, criado no primeiro uso; não vai com --config\n"
        "  --reset           com --demo: cria o espaço de demonstração de novo\n"
        "  --open            sem comando: abre a tela de homologação ao iniciar\n"
        "\n"
        "Comandos (sem janela):\n");
    for (const Comando &c : comandos())
        texto += QStringLiteral("  %1\n").arg(c.sinopse);
    texto += QStringLiteral("\nGRUPO é o número do grupo; os zeros à esquerda podem faltar (1 é 0000000001).\n"
                            "\"homologa help COMANDO\" explica cada comando.\n\n")
        + kSaidas;
    return texto;
}

QString LinhaDeComando::codigoDeGrupo(const QString &texto)
{
    if (texto.isEmpty() || texto.size() > 10)
        return {};
    for (const QChar c : texto) {
        if (c < u'0' || c > u'9')
            return {};
    }
    return texto.rightJustified(10, u'0');
}

LinhaDeComando::Pedido LinhaDeComando::analisa(const QStringList &arguments)
{
    Pedido pedido;
    QStringList posicionais;
    QStringList opcoes;
    const Comando *c = nullptr;
    for (const QString &argument : arguments) {
        if (!argument.startsWith(u'-')) {
            c = comando(argument);
            break;
        }
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == u"--help" || argument == u"-h") {
            pedido.ajuda = true;
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            opcoes.append(argument);
            // An option written "--name VALUE" in the table takes the next argument.
            const QStringList com = c ? c->opcoes.filter(argument + u' ') : QStringList();
            if (!com.isEmpty() && com.first().section(u' ', 0, 0) == argument) {
                if (i + 1 >= arguments.size()) {
                    pedido.erro = QStringLiteral("a opção %1 pede um valor.").arg(argument);
                    return pedido;
                }
                pedido.valores.insert(argument, arguments[++i]);
            }
        } else {
            posicionais.append(argument);
        }
    }
    pedido.comando = posicionais.value(0);
    posicionais = posicionais.mid(1);
    if (pedido.comando.isEmpty()) {
        if (!opcoes.isEmpty())
            pedido.erro = QStringLiteral("opção desconhecida \"%1\".").arg(opcoes[0]);
        else if (!pedido.ajuda)
            pedido.erro = QStringLiteral("falta o comando.");
        return pedido;
    }
    if (!c) {
        pedido.erro = QStringLiteral("comando desconhecido \"%1\".").arg(pedido.comando);
        return pedido;
    }
    for (const QString &opcao : opcoes) {
        if (!c->opcoes.contains(opcao) && !pedido.valores.contains(opcao)) {
            pedido.erro = QStringLiteral("opção desconhecida \"%1\" para o comando %2.").arg(opcao, c->nome);
            return pedido;
        }
    }
    if (pedido.ajuda)
        return pedido;
    if (c->nome == u"help") {
        pedido.ajuda = true;
        if (!posicionais.isEmpty() && !comando(posicionais[0]))
            pedido.erro = QStringLiteral("comando desconhecido \"%1\".").arg(posicionais[0]);
        else
            pedido.comando = posicionais.value(0);
        return pedido;
    }
    pedido.json = opcoes.contains(QStringLiteral("--json"));
    pedido.sim = opcoes.contains(QStringLiteral("--yes"));
    pedido.devolve = opcoes.contains(QStringLiteral("--send-back"));
    pedido.verifica = opcoes.contains(QStringLiteral("--check"));
    if (posicionais.size() < c->minimo || (c->maximo >= 0 && posicionais.size() > c->maximo)) {
        pedido.erro = posicionais.size() < c->minimo ? QStringLiteral("falta o grupo.")
                                                      : QStringLiteral("argumentos demais para o comando %1.").arg(c->nome);
        return pedido;
    }
    if (pedido.verifica && (pedido.sim || pedido.devolve)) {
        pedido.erro = QStringLiteral("--check não faz nada e não vai com --yes nem --send-back.");
        return pedido;
    }
    for (const QString &grupo : posicionais) {
        const QString codigo = codigoDeGrupo(grupo);
        if (codigo.isEmpty()) {
            pedido.erro = QStringLiteral("\"%1\" não é um número de grupo.").arg(grupo);
            return pedido;
        }
        pedido.grupos.append(codigo);
    }
    return pedido;
}

int LinhaDeComando::semDados(const QStringList &arguments, std::FILE *output, std::FILE *errors)
{
    const Pedido pedido = analisa(arguments);
    const auto escreve = [](std::FILE *stream, const QString &text) {
        std::fputs(text.toUtf8().constData(), stream);
        std::fputc('\n', stream);
        std::fflush(stream);
    };
    if (!pedido.erro.isEmpty()) {
        escreve(errors, QStringLiteral("homologa: ") + pedido.erro + QStringLiteral("\nUse \"homologa --help\" para ver o uso."));
        return UsoInvalido;
    }
    if (pedido.ajuda) {
        escreve(output, uso(pedido.comando == u"help" ? QString() : pedido.comando));
        return Feito;
    }
    return -1;
}

void LinhaDeComando::escreve(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// ====================================================================== the commands

int LinhaDeComando::executa(const QStringList &arguments)
{
    if (const int semDado = semDados(arguments, m_output, m_errors); semDado >= 0)
        return semDado;
    const Pedido pedido = analisa(arguments);
    try {
        if (pedido.comando == u"groups")
            return grupos(pedido.json);
        if (pedido.comando == u"advance")
            return avanca(pedido);
        if (pedido.comando == u"log")
            return log(pedido.grupos[0]);
        if (pedido.comando == u"unlock")
            return destrava(pedido);
        if (pedido.comando == u"where")
            return onde();
    } catch (const EAbort &) {
        // The silent stop: the error, if any, has been shown already.
        return Falhou;
    } catch (...) {
        escreve(m_errors, QStringLiteral("Erro: ") + host::currentErrorText());
        return Falhou;
    }
    return UsoInvalido;
}

bool LinhaDeComando::existem(const QStringList &codigos)
{
    for (const QString &codigo : codigos) {
        if (!dm.LocalizaGrupo(codigo)) {
            escreve(m_errors, QStringLiteral("homologa: o grupo %1 não existe.").arg(codigo));
            return false;
        }
    }
    return true;
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

int LinhaDeComando::avanca(const Pedido &pedido)
{
    const QStringList &codigos = pedido.grupos;
    dm.GetInitialData();
    if (!existem(codigos))
        return UsoInvalido;
    dm.GetUserPass();
    if (!dm.boEditavel) {
        escreve(m_errors, QStringLiteral("Erro: o operador não pode alterar grupos de homologação."));
        return Falhou;
    }
    // A job run again after its advance was carried out stops here, before anything is done.
    const QString desde = pedido.valores.value(QStringLiteral("--from"));
    static const QRegularExpression fases(QStringLiteral("^00[1-7]$"));
    if (pedido.valores.contains(QStringLiteral("--from")) && !fases.match(desde).hasMatch()) {
        escreve(m_errors, QStringLiteral("homologa: --from pede uma fase de 001 a 007, e não \"%1\".").arg(desde));
        return UsoInvalido;
    }
    // An interrupted operation of the group is continued with the plan it decided, whatever
    // the phase it left the groups in; the same command (or --check) says so.
    dm.LocalizaGrupo(codigos.first());
    if (const std::optional<Operacao::Aberta> aberta = Operacao::Procura(dm, codigos.first()))
        return continua(pedido, *aberta);
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
    if (fase != u"006" && codigos.size() > 1) {
        escreve(m_errors, QStringLiteral("homologa: só a homologação (fase 006) avança vários grupos de uma vez."));
        return UsoInvalido;
    }
    if (fase == u"007") {
        escreve(m_errors, QStringLiteral("Erro: o grupo %1 está encerrado.").arg(codigos.first()));
        return Falhou;
    }
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
    }

    const QString volta = dm.msgPadrao.Msg(QStringLiteral("VOLTA_GRUPO")).section(QStringLiteral("%s"), 0, 0);
    Respostas respostas(hostUi(), pedido, volta);
    HostUiScope escopo(respostas);
    const QString nadaFeito = QStringLiteral("Nada foi feito: o grupo %1 continua na fase \"%2\".")
                                  .arg(codigos.first(), dm.textoStatusGrupo(fase));
    if (pedido.verifica)
        return verifica(fase, codigos);
    bool feita = false;
    if (const std::optional<int> interrompida = tramita(feita, [&] {
            if (respostas.faltouDevolve)
                escreve(m_errors, nadaFeito + QStringLiteral(" A homologação devolveria à fase \"Pendente\" os grupos da "
                                                             "mesma release citados acima; para isso, repita com --send-back."));
            else if (respostas.recusada)
                escreve(m_errors, nadaFeito);
        }))
        return *interrompida;
    if (!feita)
        escreve(m_errors, respostas.recusada ? nadaFeito : QStringLiteral("Erro: a tramitação não foi feita; o grupo %1 continua na fase \"%2\".")
                                                            .arg(codigos.first(), dm.textoStatusGrupo(fase)));
    return feita ? Feito : Falhou;
}

std::optional<int> LinhaDeComando::tramita(bool &feita, const std::function<void()> &aoParar)
{
    platform::catchInterruption();
    try {
        feita = Tramitacao(dm).btfAvancaFaseClick();
    } catch (const EAbort &) {
        if (platform::interruption())
            return SaidaDaInterrupcao();
        if (aoParar)
            aoParar();
        throw;
    }
    if (platform::interruption() && !feita)
        return SaidaDaInterrupcao();
    return std::nullopt;
}

int LinhaDeComando::SaidaDaInterrupcao()
{
    const int sinal = platform::interruption();
    platform::clearInterruption();
    escreve(m_errors, QStringLiteral("A operação parou no fim de um passo (%1) e devolveu as travas dos grupos; ela continua "
                                     "em aberto: repita o mesmo comando para continuá-la.")
                          .arg(sinal == 2 ? QStringLiteral("Ctrl-C") : QStringLiteral("sinal %1").arg(sinal)));
    return 128 + sinal;
}

int LinhaDeComando::continua(const Pedido &pedido, const Operacao::Aberta &aberta)
{
    const QString desde = pedido.valores.value(QStringLiteral("--from"));
    if (!desde.isEmpty() && aberta.fase != desde) {
        escreve(m_errors, QStringLiteral("Erro: o grupo %1 tem em aberto %2, que parte da fase %3 e não da fase %4 pedida; "
                                         "nada foi feito.")
                              .arg(pedido.grupos.first(), aberta.descrita, aberta.fase, desde));
        return Falhou;
    }
    if (pedido.verifica) {
        escreve(m_output, QStringLiteral("O grupo %1 tem uma operação interrompida em aberto: %2.\nO comando a continuaria "
                                         "a partir desse passo, com o plano decidido ao iniciá-la (nada foi feito).")
                              .arg(pedido.grupos.first(), aberta.descrita));
        return Feito;
    }
    Respostas respostas(hostUi(), pedido, QString());
    HostUiScope escopo(respostas);
    bool feita = false;
    if (const std::optional<int> interrompida = tramita(feita, {}))
        return *interrompida;
    if (!feita)
        escreve(m_errors, QStringLiteral("Nada foi feito: %1 continua em aberto.").arg(aberta.descrita));
    return feita ? Feito : Falhou;
}

// The checks of the transition that leaves `fase`, each as the transition runs it, and what
// the transition would do; nothing is written.
int LinhaDeComando::verifica(const QString &fase, const QStringList &codigos)
{
    const QString codigo = codigos.first();
    const QString produto = dm.grupo(QStringLiteral("CDPRODUTO"));
    const QString release = QString(dm.grupo(QStringLiteral("CDRELEASEGHOM"))).remove(u'.');
    QStringList faria;
    const auto arquivos = [this](const QString &metodo, const QString &campo) {
        Dataset lista(metodo);
        lista.setData(TdmGrupSoliHom::Pacote(dm.ChamaServidor(metodo, {dm.codigoGrupo()}), metodo));
        QStringList nomes;
        for (lista.First(); !lista.Eof(); lista.Next())
            nomes << QStringLiteral("  ") + lista.FieldByName(campo).AsString();
        return nomes;
    };
    try {
        if (fase == u"001") {
            CopiaTrabalho(dm).Verificacoes();
            dm.GetLocations(produto);
            faria << QStringLiteral("Atualizaria as cópias de trabalho e transferiria para %1 os arquivos modificados:")
                         .arg(dm.URLHomol)
                  << arquivos(QStringLiteral("getArq"), QStringLiteral("DSDIRARQCHECKOU"));
        } else if (fase == u"002") {
            if (FamiliaDoProduto(dm.grupo(QStringLiteral("CDARVPROD"))) == Familia::Compilados) {
                dm.CarregaPacote(dm.cdsSoli, QStringLiteral("GetSoli"), {codigo});
                Verificacoes verificacoes(dm);
                verificacoes.Vd_soli_sem_arq_gerar();
                verificacoes.Vd_Consistencia_Arquivo();
            }
            faria << QStringLiteral("Geraria o patch das solicitações do grupo, com os arquivos:")
                  << arquivos(QStringLiteral("getArqSoli"), QStringLiteral("DSARQPATCH"));
        } else if (fase == u"003" || fase == u"004") {
            Verificacoes(dm).VD_Todas_Solicitacoes_Geradas();
            dm.GetLocations(produto);
            if (fase == u"003")
                faria << QStringLiteral("Copiaria os arquivos gerados para %1, com cópia de segurança dos que substituem.")
                             .arg(dm.DirPreHomol);
            else
                faria << QStringLiteral("Pediria o pacote de teste Rv7_%1_%2.zip e passaria o grupo para a fase \"%3\".")
                             .arg(Tramitacao::ReleaseAnterior(release), release, dm.textoStatusGrupo(QStringLiteral("005")));
        } else if (fase == u"005") {
            faria << QStringLiteral("Entregaria as solicitações ao responsável pelos testes e criaria a tag TST_<data e hora>_%1.")
                         .arg(codigo);
        } else if (fase == u"006") {
            Verificacoes verificacoes(dm);
            verificacoes.VD_Todas_Solicitacoes_Testadas();
            verificacoes.VD_Volta_Grupo();
            faria << QStringLiteral("Criaria a tag HOM_<data e hora>_%1 e, na release %2:").arg(codigos.join(QString()), release);
            Homologacao homologacao(dm);
            static const char *const kDesfechos[] = {"voltaria com erro ao desenvolvimento", "iria para regeração de patch",
                                                     "seria homologada", "está fora de fase e ficaria como está"};
            bool algumaHomologada = false;
            for (const QString &grupo : codigos) {
                dm.LocalizaGrupo(grupo);
                Dataset &soli = *dm.cdsSoli;
                for (soli.First(); !soli.Eof(); soli.Next()) {
                    const auto valor = [&](const char *campo) { return soli.FieldByName(QLatin1String(campo)).AsString(); };
                    const QString filial = valor("CDFILIAL");
                    const QString numero = valor("NRSOLISERV");
                    const auto desfecho = Homologacao::DecideDesfecho(
                        valor("IDHOMOLSOL"), valor("IDENCSOLPATCREG"), valor("IDRETSOLERROPRO"), valor("IDSTSOLIGRUP"),
                        [&] { return homologacao.Soli_Independente(grupo, filial, numero); });
                    algumaHomologada = algumaHomologada || desfecho == Homologacao::Desfecho::Homol;
                    faria << QStringLiteral("  grupo %1, solicitação %2 - %3: %4")
                                 .arg(grupo, numero, valor("DSREFESOLI"), QString::fromUtf8(kDesfechos[int(desfecho)]));
                }
            }
            faria << QStringLiteral("Encerraria o grupo(s) %1%2.")
                         .arg(codigos.join(QStringLiteral(", ")),
                              algumaHomologada ? QStringLiteral(" e registraria o patch seguinte do produto") : QString());
        }
    } catch (const EAbort &) {
        escreve(m_errors, QStringLiteral("A tramitação de \"%1\" não pode ser feita (nada foi feito).").arg(dm.textoStatusGrupo(fase)));
        dm.DescartaAlteracoesGrupo();
        return Falhou;
    }
    dm.DescartaAlteracoesGrupo();
    escreve(m_output, QStringLiteral("As verificações de \"%1\" -> \"%2\" passaram (nada foi feito).")
                          .arg(dm.textoStatusGrupo(fase), dm.textoStatusGrupo(Consiste::Ajusta(QString::number(fase.toInt() + 1), 3))));
    escreve(m_output, faria.join(u'\n'));
    return Feito;
}

int LinhaDeComando::destrava(const Pedido &pedido)
{
    const QString codigo = pedido.grupos.first();
    dm.GetInitialData();
    if (!dm.boEditavel) {
        escreve(m_errors, QStringLiteral("Erro: o operador não pode alterar grupos de homologação."));
        return Falhou;
    }
    if (!existem({codigo}))
        return UsoInvalido;
    const QJsonArray trava = dm.ChamaServidor(QStringLiteral("getGroupLease"), {dm.codigoGrupo()}).toArray();
    if (trava.isEmpty()) {
        escreve(m_output, QStringLiteral("O grupo %1 não está em tramitação; nada a liberar.").arg(dm.codigoGrupo()));
        return Feito;
    }
    // A holder that still runs on this machine is not broken: it is named instead.
    const auto [estacao, processo] = Operacao::EstacaoEProcesso(trava.at(2).toString());
    if (estacao == QSysInfo::machineHostName() && platform::processAlive(processo)) {
        escreve(m_errors, trava.at(1).toString()
                              + QStringLiteral(" O processo %1 desta estação ainda está em execução: a trava não foi "
                                               "liberada. Aguarde o seu fim ou encerre esse processo.")
                                    .arg(processo));
        return Falhou;
    }
    // Breaking the lease of an advance that is still running would let a second one start
    // beside it: the operator confirms that its holder is gone.
    const QString pergunta = trava.at(1).toString()
        + QStringLiteral("\r\nLibere o grupo só se essa tramitação foi interrompida (o processo não existe mais). "
                         "Deseja liberar o grupo %1?")
              .arg(dm.codigoGrupo());
    Respostas respostas(hostUi(), pedido, QString());
    if (respostas.showMessage(pergunta, DialogType::Confirmation, mbYes | mbNo) != mbYes) {
        escreve(m_errors, QStringLiteral("Nada foi feito: o grupo %1 continua travado.").arg(dm.codigoGrupo()));
        return Falhou;
    }
    dm.ChamaServidor(QStringLiteral("breakGroupLease"), {dm.codigoGrupo(), trava.at(0).toString()});
    escreve(m_output, QStringLiteral("Grupo %1 liberado.").arg(dm.codigoGrupo()));
    return Feito;
}

int LinhaDeComando::log(const QString &codigo)
{
    dm.GetInitialData();
    if (!existem({codigo}))
        return UsoInvalido;
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

// Where everything is on this machine: the logical paths the product speaks, each with the
// native folder (or file:// URL) it is mapped to, so that svn and the shell can be pointed at them.
int LinhaDeComando::onde()
{
    const auto nativo = [](const QString &logico) -> QString {
        try {
            if (logico.startsWith(QStringLiteral("file:///"), Qt::CaseInsensitive))
                return QStringLiteral("file://") + platform::mounts().toNative(logico.mid(8));
            if (logico.contains(QStringLiteral("://")))
                return logico;
            return platform::mounts().toNative(logico);
        } catch (const platform::PlatformError &) {
            return QStringLiteral("(em nenhuma unidade montada)");
        }
    };
    auto settings = platform::settings::open();
    escreve(m_output, QStringLiteral("Configuração: %1").arg(platform::settings::filePath()));
    const QString servidor = settings->value(QStringLiteral("host/server_host")).toString();
    escreve(m_output, servidor.isEmpty()
                          ? QStringLiteral("Base de dados: %1").arg(settings->value(QStringLiteral("server/database")).toString())
                          : QStringLiteral("Servidor: %1:%2").arg(servidor, settings->value(QStringLiteral("host/server_port"), 8090).toString()));
    escreve(m_output, QStringLiteral("Unidades:"));
    for (const platform::Mount &mount : platform::mounts().mounts())
        escreve(m_output, QStringLiteral("  %1 = %2").arg(mount.logical, mount.native));
    dm.GetInitialData();
    QStringList produtos;
    Dataset &grupos = *dm.cdsGrupo;
    for (grupos.First(); !grupos.Eof(); grupos.Next()) {
        const QString produto = dm.grupo(QStringLiteral("CDPRODUTO"));
        if (produtos.contains(produto))
            continue;
        produtos << produto;
        const QString nome = dm.grupo(QStringLiteral("NMPRODUTO"));
        dm.GetLocations(produto);
        escreve(m_output, QStringLiteral("Produto %1 %2:").arg(produto, nome));
        const std::pair<const char *, QString> locais[] = {
            {"Repositório de desenvolvimento", dm.Locacao0}, {"Cópia de desenvolvimento", dm.DirDesenv},
            {"Repositório de homologação", dm.URLHomol},     {"Cópia de homologação", dm.DirHomol},
            {"Pré-homologados", dm.DirPreHomol},             {"Homologados", dm.DirHomologados}};
        for (const auto &[rotulo, logico] : locais)
            escreve(m_output, QStringLiteral("  %1: %2 = %3").arg(QString::fromUtf8(rotulo), logico, nativo(logico)));
    }
    return Feito;
}
