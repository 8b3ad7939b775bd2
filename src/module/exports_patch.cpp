// Patch generation as the module exports it: the entry and the variables that show the
// state of the patch screen while it lives.

#include "module/exports.h"

#include "patch/frmgpatch.h"

#include <QListWidget>

TfrmGPatch *frmGPatch = nullptr;
QString SemaStatus = QStringLiteral("G");
int inErros = 0;
QStringList stlSoli, stlResultadoBuild, stlSaida, stlResult;
QDateTime dtFaseTram;
bool boPatchEmpty = false;
QString stVssUser, stVssPass, stUserSubVersion, stPassSubVersion, stListaSoli, stCdArvProd, stCdProduto, stDirBaseRep,
    stCdFilial, stNrSoliServ, stDirVss, stDiretorio, stVersao;

namespace {

QStringList LinhasDe(const QListWidget *list)
{
    QStringList linhas;
    for (int i = 0; list && i < list->count(); ++i)
        linhas.append(list->item(i)->text());
    return linhas;
}

// Copies the screen's state into the exported variables; the screen pointer is cleared
// when the screen goes away, the last values stay readable.
void PublicaEstado(const TfrmGPatch *form)
{
    frmGPatch = const_cast<TfrmGPatch *>(form);
    if (!form)
        return;
    SemaStatus = form->SemaStatus;
    inErros = form->inErros;
    stlSoli = form->stlSoli;
    stlResultadoBuild = form->stlResultadoBuild;
    stlSaida = LinhasDe(form->lsbProgresso);
    stlResult = form->stlResult;
    dtFaseTram = form->dtFaseTram;
    boPatchEmpty = form->boPatchEmpty;
    stUserSubVersion = form->stUserSubVersion;
    stPassSubVersion = form->stPassSubVersion;
    stVssUser = form->stUserSubVersion;
    stVssPass = form->stPassSubVersion;
    stListaSoli = form->stlSoli.join(QStringLiteral("\r\n"));
    stCdArvProd = form->stCdArvProd;
    stCdProduto = form->stCdProduto;
    stDirBaseRep = form->stDirBaseRep;
    stCdFilial = form->stCdFilial;
    stNrSoliServ = form->stNrSoliServ;
    stDirVss = form->stDirVss;
    stDiretorio = form->stDiretorio;
    stVersao = form->stVersao;
}

}  // namespace

bool GeraSolicitacoes(const QString &requests, const QString &product, const QString &productTree)
{
    patch::setPublicador(PublicaEstado);
    return patch::GeraSolicitacoes(requests, product, productTree);
}
