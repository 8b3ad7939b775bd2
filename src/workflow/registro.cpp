#include "workflow/registro.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"

#include <algorithm>

namespace {

bool SoDigitos(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Runs `acao`; on failure the group list's unsaved changes go and the error goes on.
template <typename Acao>
auto DescartandoNaFalha(TdmGrupSoliHom &dm, Acao acao)
{
    try {
        return acao();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void RecusaAVersao10()
{
    Consiste::MensErro(QStringLiteral("O release 9.99.999 é o último que o código de release comporta: a versão 9 "
                                      "não pode passar para a versão 10, que não cabe no código de um dígito. "
                                      "Nenhuma versão, release ou patch foi registrado."),
                       true);
}

}  // namespace

void RegistroRelease::ConfereProximoPatch(const QString &release)
{
    if (release.size() != 6 || !SoDigitos(release))
        Consiste::MensErro(QStringLiteral("O release \"%1\" não é um código de release válido (seis dígitos VRRPPP); "
                                          "o próximo patch do produto não pode ser registrado.")
                               .arg(release),
                           true);
    if (release == u"999999")
        RecusaAVersao10();
}

void RegistroRelease::Registra(const QString &metodo, QStringList &argumentos)
{
    if (Registrador) {
        Registrador(metodo, argumentos);
        return;
    }
    QList<RemoteArg> args;
    for (QString &argumento : argumentos)
        args.append(RemoteArg::ref(argumento));
    dm.ChamaServidor(metodo, args);
    if (AoRegistrar)
        AoRegistrar(metodo, argumentos);
}

void RegistroRelease::Atualiza_Release_Produto(const QString &produto, const QString &release)
{
    Atualiza_Versao(produto, release);
}

QString RegistroRelease::Atualiza_Versao(const QString &produto, const QString &release)
{
    return DescartandoNaFalha(dm, [&] {
        ConfereProximoPatch(release);
        return InserePatch(produto, release.mid(0, 1), release.mid(1, 2), release.mid(3, 3));
    });
}

QString RegistroRelease::InserePatch(const QString &produto, const QString &versao, const QString &release,
                                     const QString &patch)
{
    return DescartandoNaFalha(dm, [&] {
        const QString novo = patch.toInt() == 999
            ? InsereRelease(produto, versao, release)
            : versao + u'.' + release + u'.' + Consiste::Ajusta(QString::number(patch.toInt() + 1), 3);
        QStringList argumentos{produto, novo.mid(0, 1), novo.mid(2, 2), novo.mid(5, 3), novo.mid(5, 3)};
        Registra(QStringLiteral("Insere_Patch"), argumentos);
        return argumentos[1] + u'.' + argumentos[2] + u'.' + argumentos[3];
    });
}

QString RegistroRelease::InsereRelease(const QString &produto, const QString &versao, const QString &release)
{
    return DescartandoNaFalha(dm, [&] {
        const QString nova = release.toInt() == 99
            ? InsereVersao(produto, versao)
            : versao + u'.' + Consiste::Ajusta(QString::number(release.toInt() + 1), 2);
        QStringList argumentos{produto, nova.mid(0, 1), nova.mid(2, 2), nova.mid(2, 2)};
        Registra(QStringLiteral("Insere_Release"), argumentos);
        return argumentos[1] + u'.' + argumentos[2] + QStringLiteral(".000");
    });
}

QString RegistroRelease::InsereVersao(const QString &produto, const QString &versao)
{
    return DescartandoNaFalha(dm, [&] {
        const int nova = versao.toInt() + 1;
        // Version 10 would be cut to "1" by the callers and register version 1 again.
        if (versao.size() != 1 || !SoDigitos(versao))
            Consiste::MensErro(QStringLiteral("A versão \"%1\" não é um dígito; a próxima versão do produto não pode "
                                              "ser registrada.")
                                   .arg(versao),
                               true);
        if (nova > 9)
            RecusaAVersao10();
        QStringList argumentos{produto, QString::number(nova)};
        Registra(QStringLiteral("Insere_Versao"), argumentos);
        return argumentos[1] + QStringLiteral(".00.000");
    });
}
