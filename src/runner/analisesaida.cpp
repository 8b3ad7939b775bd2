#include "analisesaida.h"

#include "host/consiste.h"

#include <QRegularExpression>

#include <initializer_list>

namespace runner {

TMessages MensagensDoExecutor()
{
    return TMessages(QStringList{
        QStringLiteral("COPIATRAVADA|rode 'svn cleanup' para remover travas"),
        QStringLiteral("COPIA|svn: aviso: Cópia de trabalho"),
        QStringLiteral("TRAVADA|travada"),
        QStringLiteral("ERRO_TRAVA_COPIA_DE_TRABALHO|ERRO!!! A cópia de Trabalho está travada. Execute o Update para "
                       "resolver o problema."),
        QStringLiteral("ERRO_GERAL|Ocorreram erros durante a realização das ações no Subversion. Nem todas as etapas "
                       "foram realizadas com sucesso. A ação será cancelada."),
        QStringLiteral("ERRO_SERVIDOR|não foi possível conectar-se ao servidor"),
        QStringLiteral("ERRO2_FALHA_ADD_DIR|svn: Falhou ao adicionar diretório"),
        QStringLiteral("ERRO3_ARQ_BLOQUEADO|is already locked by user"),
        QStringLiteral("ERRO4_FALHACOMMIT|Commit falhou"),
        QStringLiteral("ERRO5_NAOECOPIATRAB|não é uma cópia de trabalho"),
        QStringLiteral("ERRO6_ABRIRARQ|não foi possível abrir o arquivo"),
        QStringLiteral("ERRO7_ARQLERARQ|como para leitura e escrita: Acesso negado."),
        QStringLiteral("ERRO8_SETARQ|Não foi possível setar o arquivo"),
        QStringLiteral("ERRO9_ERROARQ|O sistema não pode encontrar o caminho especificado."),
        QStringLiteral("ERRO_SUBVERION_10|Servidor enviou valor de retorno inválido (423 Locked)"),
        QStringLiteral("ERRO_SUBVERSION_11|não está sobre controle de versão"),
        QStringLiteral("ERRO_SUBVERSION_12|Pulou"),
        QStringLiteral("ERRO_UPDATE|Não foi possível abrir o arquivo"),
        QStringLiteral("COPIADESATUALIZADA|Lock failed: newer version of"),
        QStringLiteral("COPINAOEXISTE|não é um diretório de cópia de trabalho"),
        QStringLiteral("ATUALIZADO1|Atualizado para revisão"),
        QStringLiteral("ATUALIZADO2|Na revisão"),
        QStringLiteral("ARQDESTRAVADO|destravado."),
        QStringLiteral("TRAVAREALIZADA|travado pelo usuário"),
        QStringLiteral("GERADA_COPIA|Gerado cópia de trabalho para revisão"),
        QStringLiteral("COMMITREALIZADO|Commit da revisão"),
        // Today's client: a locked working copy is reported in English (its Portuguese
        // catalogue lacks the new wording), a lock of another user, a lock on an outdated
        // file and an unreachable server in new words.
        QStringLiteral("COPIATRAVADA_ATUAL|Run 'svn cleanup' to remove locks"),
        QStringLiteral("ERRO3_ARQ_BLOQUEADO_ATUAL|já está travado pelo usuário"),
        QStringLiteral("COPIADESATUALIZADA_ATUAL|Trava falhou: nova versão de"),
        QStringLiteral("ERRO_SERVIDOR_ATUAL|Não foi possível conectar ao servidor"),
        QStringLiteral("ERRO_SERVIDOR_ATUAL2|Unable to connect to a repository"),
    });
}

QStringList LinhasDoTexto(const QString &text)
{
    QStringList linhas;
    qsizetype inicio = 0;
    const qsizetype tamanho = text.size();
    for (qsizetype i = 0; i < tamanho; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        linhas.append(text.mid(inicio, i - inicio));
        if (c == u'\r' && i + 1 < tamanho && text[i + 1] == u'\n')
            ++i;
        inicio = i + 1;
    }
    if (inicio < tamanho)
        linhas.append(text.mid(inicio));
    return linhas;
}

QString SemCodigosDeErro(const QString &text)
{
    if (!text.contains(QLatin1StringView("svn: ")))
        return text;
    static const QRegularExpression aviso(QStringLiteral("svn: warning: (?:W\\d+: )?"));
    static const QRegularExpression codigo(QStringLiteral("svn: (aviso: )?[EW]\\d+: "));
    QString antigo = text;
    antigo.replace(aviso, QStringLiteral("svn: aviso: "));
    antigo.replace(codigo, QStringLiteral("svn: \\1"));
    return antigo;
}

bool Contem(const TMessages &mensagens, const QString &text, const QString &key)
{
    if (Consiste::Contem(text, mensagens.Msg(key)))
        return true;
    for (const char *sufixo : {"_ATUAL", "_ATUAL2"}) {
        const QString atual = key + QLatin1StringView(sufixo);
        if (!mensagens.contains(atual))
            return false;
        if (Consiste::Contem(text, mensagens.Msg(atual)))
            return true;
    }
    return false;
}

namespace {

bool ContemAlguma(const TMessages &mensagens, const QString &text, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        if (Contem(mensagens, text, QLatin1StringView(key)))
            return true;
    }
    return false;
}

bool ContemAlgumTexto(const QString &text, std::initializer_list<const char *> literals)
{
    for (const char *literal : literals) {
        if (text.contains(QLatin1StringView(literal)))
            return true;
    }
    return false;
}

bool CopiaTravada(const TMessages &mensagens, const QString &text)
{
    return Contem(mensagens, text, QStringLiteral("COPIA")) && Contem(mensagens, text, QStringLiteral("TRAVADA"));
}

}  // namespace

Condicao InspecionaSaida(const TMessages &mensagens, const QString &text)
{
    const QString saida = SemCodigosDeErro(text);
    if (Contem(mensagens, saida, QStringLiteral("COPIATRAVADA")) || CopiaTravada(mensagens, saida))
        return Condicao::CopiaTravada;
    if (ContemAlguma(mensagens, saida,
                     {"ERRO5_NAOECOPIATRAB", "ERRO7_ARQLERARQ", "ERRO2_FALHA_ADD_DIR", "ERRO8_SETARQ", "ERRO9_ERROARQ",
                      "ERRO_SUBVERION_10", "ERRO_UPDATE", "ERRO6_ABRIRARQ", "COPIADESATUALIZADA",
                      "ERRO3_ARQ_BLOQUEADO", "COPINAOEXISTE", "ERRO_SUBVERSION_11", "ERRO_SUBVERSION_12",
                      "ERRO4_FALHACOMMIT"})
        || ContemAlgumTexto(saida, {"Fatal", "Erro:", "Erro ", "Error:", "Error "}))
        return Condicao::ErroGeral;
    if (Contem(mensagens, saida, QStringLiteral("ERRO_SERVIDOR")))
        return Condicao::ServidorInacessivel;
    return Condicao::Nenhuma;
}

CorDaLinha CorDoItem(const TMessages &mensagens, const QString &line)
{
    const QString texto = SemCodigosDeErro(line);
    // Unlike the inspection, "423 Locked" is not coloured and "Error" needs no colon.
    if (texto.contains(QLatin1StringView("Fatal"))
        || ContemAlguma(mensagens, texto, {"COPIADESATUALIZADA", "ERRO_SERVIDOR", "COPIATRAVADA"})
        || CopiaTravada(mensagens, texto)
        || ContemAlguma(mensagens, texto,
                        {"ERRO3_ARQ_BLOQUEADO", "ERRO5_NAOECOPIATRAB", "COPINAOEXISTE", "ERRO7_ARQLERARQ",
                         "ERRO2_FALHA_ADD_DIR", "ERRO8_SETARQ", "ERRO9_ERROARQ", "ERRO6_ABRIRARQ",
                         "ERRO_SUBVERSION_11", "ERRO_SUBVERSION_12", "ERRO4_FALHACOMMIT", "ERRO_UPDATE"})
        || ContemAlgumTexto(texto, {"Erro:", "Erro ", "Error"}))
        return CorDaLinha::Vermelha;
    if (ContemAlguma(mensagens, texto,
                     {"ATUALIZADO1", "ATUALIZADO2", "ARQDESTRAVADO", "TRAVAREALIZADA", "GERADA_COPIA",
                      "COMMITREALIZADO"}))
        return CorDaLinha::Azul;
    return CorDaLinha::Padrao;
}

QColor CorDoItem(const TMessages &mensagens, const QString &line, const QColor &windowText)
{
    switch (CorDoItem(mensagens, line)) {
    case CorDaLinha::Vermelha:
        return QColor(255, 0, 0);
    case CorDaLinha::Azul:
        return QColor(0, 0, 255);
    case CorDaLinha::Padrao:
        break;
    }
    return windowText;
}

}  // namespace runner
