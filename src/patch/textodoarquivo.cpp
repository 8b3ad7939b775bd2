#include "patch/textodoarquivo.h"

#include "host/errors.h"
#include "platform/files.h"

#include <QStringDecoder>

namespace patch {

namespace {

const QByteArray kBom("\xEF\xBB\xBF", 3);

// 0x80 to 0x9F of Windows-1252; 0 where the code page defines nothing.
const char16_t kAltos[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                             0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

QString TextoDoArquivo::DeWindows1252(const QByteArray &bytes)
{
    QString texto;
    texto.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0 && kAltos[byte - 0x80] != 0)
            texto.append(QChar(kAltos[byte - 0x80]));
        else
            texto.append(QChar(char16_t(byte)));
    }
    return texto;
}

QByteArray TextoDoArquivo::ParaWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(char(u));
            continue;
        }
        int achado = -1;
        for (int i = 0; i < 32 && achado < 0; ++i) {
            if (kAltos[i] == u || (kAltos[i] == 0 && u == 0x80 + i))
                achado = i;
        }
        if (achado < 0)
            throw EHomologa(QStringLiteral("O caractere \"%1\" não existe na codificação Windows-1252 do arquivo.").arg(ch));
        bytes.append(char(0x80 + achado));
    }
    return bytes;
}

bool TextoDoArquivo::EhUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString texto = decoder.decode(bytes);
    return !decoder.hasError();
}

TextoDoArquivo TextoDoArquivo::Le(const QString &path) { return DeBytes(platform::files::readBytes(path)); }

TextoDoArquivo TextoDoArquivo::DeBytes(const QByteArray &bytes)
{
    TextoDoArquivo texto;
    QByteArray corpo = bytes;
    if (corpo.startsWith(kBom)) {
        texto.m_bom = true;
        texto.m_codificacao = Codificacao::Utf8;
        corpo.remove(0, kBom.size());
    } else {
        bool soAscii = true;
        for (const char c : corpo)
            soAscii = soAscii && static_cast<unsigned char>(c) < 0x80;
        texto.m_codificacao = !soAscii && EhUtf8(corpo) ? Codificacao::Utf8 : Codificacao::Windows1252;
    }
    bool primeiroFim = true;
    qsizetype inicio = 0;
    while (inicio < corpo.size()) {
        // A line ends at CR LF, LF or a CR alone (files saved by old Mac-era editors).
        qsizetype quebra = inicio;
        while (quebra < corpo.size() && corpo[quebra] != '\n' && corpo[quebra] != '\r')
            ++quebra;
        QByteArray linha;
        QByteArray fim;
        if (quebra >= corpo.size()) {
            linha = corpo.mid(inicio);
            inicio = corpo.size();
        } else {
            linha = corpo.mid(inicio, quebra - inicio);
            fim = corpo[quebra] == '\r' && quebra + 1 < corpo.size() && corpo[quebra + 1] == '\n'
                ? QByteArray("\r\n")
                : QByteArray(1, corpo[quebra]);
            inicio = quebra + fim.size();
            if (primeiroFim) {
                texto.m_fimPadrao = fim;
                primeiroFim = false;
            }
        }
        texto.m_originais.append(linha);
        texto.m_fins.append(fim);
        texto.m_lidas.append(texto.decodifica(linha));
    }
    texto.linhas = texto.m_lidas;
    return texto;
}

QString TextoDoArquivo::decodifica(const QByteArray &bytes) const
{
    return m_codificacao == Codificacao::Utf8 ? QString::fromUtf8(bytes) : DeWindows1252(bytes);
}

QByteArray TextoDoArquivo::codifica(const QString &text) const
{
    return m_codificacao == Codificacao::Utf8 ? text.toUtf8() : ParaWindows1252(text);
}

QByteArray TextoDoArquivo::bytes() const
{
    QByteArray saida = m_bom ? kBom : QByteArray();
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        const bool lida = i < m_originais.size();
        saida += lida && linhas[i] == m_lidas[i] ? m_originais[i] : codifica(linhas[i]);
        // A line read without an end keeps it so only while it stays the last one.
        const QByteArray fim = lida ? m_fins[i] : m_fimPadrao;
        saida += fim.isEmpty() && i + 1 < linhas.size() ? m_fimPadrao : fim;
    }
    return saida;
}

void TextoDoArquivo::Grava(const QString &path) const { platform::files::writeBytes(path, bytes()); }

}  // namespace patch
