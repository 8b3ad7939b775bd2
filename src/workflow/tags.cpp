#include "workflow/tags.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/errors.h"
#include "host/hostsettings.h"
#include "platform/process.h"
#include "runner/frmexeccommands.h"

namespace {

QString quoted(const QString &text) { return u'"' + text + u'"'; }

// Asks the repository without showing anything: what `svn` printed, or a null text when
// it failed (a path that does not exist, a repository out of reach).
QString pergunta(const QString &commandLine)
{
    QString falha;
    const QString saida = platform::Process::run(commandLine, nullptr, 120000, &falha);
    return falha.isEmpty() ? (saida.isNull() ? QStringLiteral("") : saida) : QString();
}

}  // namespace

QString TagsSvn::PastaDaTag(const QString &dirDesenv)
{
    const qsizetype web = dirDesenv.toUpper().indexOf(QStringLiteral("WEB"));
    if (web >= 0)
        return dirDesenv.mid(web);
    QString folder = dirDesenv;
    while (folder.endsWith(u'\\') || folder.endsWith(u'/'))
        folder.chop(1);
    const qsizetype separator = std::max(folder.lastIndexOf(u'\\'), folder.lastIndexOf(u'/'));
    return folder.mid(separator + 1);
}

TagsSvn::Locais TagsSvn::LocaisDaTag(const QString &urlHomol, const QString &dirDesenv, const QString &tag)
{
    Locais locais;
    locais.base = quoted(urlHomol.endsWith(u'/') ? urlHomol : urlHomol + u'/');

    const QString upper = urlHomol.toUpper();
    const qsizetype trunk = upper.indexOf(QStringLiteral("/TRUNK"));
    const qsizetype branches = upper.indexOf(QStringLiteral("/BRANCHES"));
    QString root = urlHomol;
    if (trunk >= 0 && branches < 0)
        root = urlHomol.left(trunk + 1);
    else if (branches >= 0 && trunk < 0)
        root = urlHomol.left(branches + 1);
    locais.tagsroot = root + (root.endsWith(u'/') ? QStringLiteral("tags/") : QStringLiteral("/tags/"));
    locais.pasta = PastaDaTag(dirDesenv);
    locais.tagsdir = quoted(locais.tagsroot + locais.pasta + u'/');
    locais.tagloc = quoted(locais.tagsroot + locais.pasta + u'/' + tag + u'/');
    return locais;
}

QString TagsSvn::Gera_Tag_SVN(const QString &tag, QString *local)
{
    try {
        dm.GetLocations(dm.grupo(QStringLiteral("CDPRODUTO")));
        if (dm.URLHomol.isEmpty())
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("DIR_EMPTY")), true);
        const QString upper = dm.URLHomol.toUpper();
        if (!upper.contains(QStringLiteral("/TRUNK")) && !upper.contains(QStringLiteral("/BRANCHES")))
            Consiste::MensErro(
                dm.msgPadrao.Msg(QStringLiteral("DIR_TRUNK"), {dm.grupo(QStringLiteral("NMPRODUTO")), dm.URLHomol}), true);

        const Locais locais = LocaisDaTag(dm.URLHomol, dm.DirDesenv, tag);
        const QString credenciais =
            QStringLiteral("--no-auth-cache --username \"%1\" --password \"%2\"").arg(dm.UsuarioSVN, dm.SenhaSVN);
        QStringList script;
        script << QStringLiteral("@title ") + dm.msgPadrao.Msg(QStringLiteral("ACAO_GERA_TAG"), {tag});
        script << QStringLiteral("@echo ")
                + dm.msgPadrao.Msg(QStringLiteral("CRIANDO_DIR_TAG"), {locais.pasta, quoted(locais.tagsroot).chopped(1)});
        // A tag of this name is this advance's own, made by an earlier run of it that stopped:
        // it is recognised, not made again. Tags of other runs are never touched.
        if (local)
            *local = locais.tagloc;
        // One listing of the tags' folder answers both: whether the folder is there (a second
        // tag finds it made, and making it again would fail) and whether the tag is.
        const QString existentes = pergunta(QStringLiteral("svn list %1 %2").arg(credenciais, locais.tagsdir));
        if (QString(existentes).remove(u'\r').split(u'\n').contains(tag + u'/'))
            return locais.tagloc;
        if (existentes.isNull())
            script << QStringLiteral("svn mkdir %1 -m\"Tag:%2\" %3").arg(credenciais, tag, locais.tagsdir);
        script << QStringLiteral("@echo ") + dm.msgPadrao.Msg(QStringLiteral("GERANDO_TAG"), {locais.tagloc});
        script << QStringLiteral("svn copy %1 -m\"Tag:%2\" %3 %4").arg(credenciais, tag, locais.base, locais.tagloc);

        if (local)
            *local = locais.tagloc;
        const QVariantList resultado =
            runner::ExecCommands(dm.msgPadrao.Msg(QStringLiteral("GERA_TAG")), script.join(QStringLiteral("\r\n")), true)
                .toList();
        if (resultado.isEmpty() || !resultado[0].toBool())
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_GERA_TAG"), {locais.tagloc}), true);
        RegistraTag(locais.tagloc, false);
        return locais.tagloc;
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

bool TagsSvn::Existe(const QString &local) const
{
    QString url = local;
    url.remove(u'"');
    return !pergunta(QStringLiteral("svn info --no-auth-cache --username \"%1\" --password \"%2\" \"%3\"")
                         .arg(dm.UsuarioSVN, dm.SenhaSVN, url))
                .isNull();
}

void TagsSvn::Deleta_SVN(const QString &local)
{
    if (Consiste::EmptyString(local))
        return;
    // The deletion carries the credentials like every other line: a repository that asks
    // for them would otherwise keep the tag.
    QStringList script;
    script << QStringLiteral("@title ") + dm.msgPadrao.Msg(QStringLiteral("ACAO_DESFAZ_SVN"), {local});
    script << QStringLiteral("svn del --no-auth-cache --username \"%1\" --password \"%2\" -m\"Erro na Operação:\" %3")
                  .arg(dm.UsuarioSVN, dm.SenhaSVN, local);
    const QVariantList resultado =
        runner::ExecCommands(dm.msgPadrao.Msg(QStringLiteral("DESFAZ_SVN")), script.join(QStringLiteral("\r\n")), true).toList();
    if (!resultado.isEmpty() && resultado[0].toBool())
        RegistraTag(local, true);
}

// The audit keeps every tag made or removed for the group. A failure to record it does not
// undo the repository's work.
void TagsSvn::RegistraTag(const QString &local, bool removida)
{
    try {
        QString tag = local;
        tag.remove(u'"');
        dm.ChamaServidor(QStringLiteral("setTagGrupo"),
                         {dm.codigoGrupo(), Horvane::Operador(), tag, removida ? QStringLiteral("S") : QStringLiteral("N")});
    } catch (const EAbort &) {
    }
}
