#pragma once

// Registration of a product's next patch after a homologation: the patch number runs from
// 000 to 999 within a release, the release from 00 to 99 within a version; an exhausted
// number registers the next release, or the next version, first. The release code is six
// digits VRRPPP; between the operations it travels in its dotted form V.RR.PPP.

#include <QString>
#include <QStringList>

#include <functional>

class TdmGrupSoliHom;

class RegistroRelease {
public:
    explicit RegistroRelease(TdmGrupSoliHom &dm) : dm(dm) {}

    // Registers the patch that follows release code `release` of product `produto`.
    void Atualiza_Release_Produto(const QString &produto, const QString &release);
    // The same; answers the dotted form of the registered patch.
    QString Atualiza_Versao(const QString &produto, const QString &release);
    // Each registers the next number (and what it rolls over into) and answers the dotted
    // form of what was registered, built from the in-out arguments as the server left them.
    QString InserePatch(const QString &produto, const QString &versao, const QString &release, const QString &patch);
    QString InsereRelease(const QString &produto, const QString &versao, const QString &release);
    QString InsereVersao(const QString &produto, const QString &versao);

    // Stops (error box, silent stop) when the patch after `release` cannot be registered:
    // a code that is not six digits, or 9.99.999, whose next version would not fit in the
    // code's one character. Nothing is registered before this check.
    static void ConfereProximoPatch(const QString &release);

    // When set, takes every registration instead of the server (a homologation plans its
    // registrations before it makes them, in one step).
    std::function<void(const QString &metodo, const QStringList &argumentos)> Registrador;
    // Told of every registration made, with its arguments as they stood after the call.
    std::function<void(const QString &metodo, const QStringList &argumentos)> AoRegistrar;

private:
    void Registra(const QString &metodo, QStringList &argumentos);

    TdmGrupSoliHom &dm;
};
