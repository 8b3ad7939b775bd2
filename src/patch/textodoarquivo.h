#pragma once

// A text file as the file holds it: the one reader and writer of every version stamp. The
// software house's scripts, resources and pages are Windows-1252 unless they are UTF-8;
// a stamp changes the lines it means to and writes every other byte back as it was read
// (encoding, byte-order mark, each line's own end, a last line without one).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace patch {

class TextoDoArquivo {
public:
    enum class Codificacao { Windows1252, Utf8 };

    // Reads a file (throws PlatformError when it cannot be read).
    static TextoDoArquivo Le(const QString &path);
    static TextoDoArquivo DeBytes(const QByteArray &bytes);
    // Writes the lines back (throws PlatformError or EHomologa).
    void Grava(const QString &path) const;
    QByteArray bytes() const;

    // The lines; change, cut or append them. A line that keeps its text keeps its bytes.
    QStringList linhas;

    Codificacao codificacao() const { return m_codificacao; }
    bool temBom() const { return m_bom; }
    // A text in the file's encoding; EHomologa when the encoding cannot hold it.
    QByteArray codifica(const QString &text) const;

    // The Windows-1252 code page, every byte kept (the five bytes it leaves undefined
    // come back as themselves).
    static QString DeWindows1252(const QByteArray &bytes);
    static QByteArray ParaWindows1252(const QString &text);  // EHomologa for a character it lacks
    // True for bytes that are valid UTF-8.
    static bool EhUtf8(const QByteArray &bytes);

private:
    QString decodifica(const QByteArray &bytes) const;

    Codificacao m_codificacao = Codificacao::Windows1252;
    bool m_bom = false;
    QList<QByteArray> m_originais;  // each line's bytes as read, without its end
    QStringList m_lidas;            // each line's text as read
    QList<QByteArray> m_fins;       // each line's end as read; empty for a last line without one
    QByteArray m_fimPadrao = "\r\n";  // the file's first line end; new lines end with it
};

}  // namespace patch
