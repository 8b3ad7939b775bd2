#pragma once

// The homologation of marked groups against the server embedded in the test process: a
// fresh database loaded through the import (the document each test builds on the base
// below), a temporary folder mounted as C:\ with the product's empty distribution trees,
// settings in a temporary file, a scripted HostUi without windows, and the data module.
//
// Base: operators 0001 (may edit groups) and DEV1; the 19 subjects that move a homologated
// request on with "105", plus 00012 and 00020 that do not; product 0000000041 "P501"
// (compiled, release 501023) with its trees below C:\.

#include "server/datamoduleenv.h"
#include "support/testenv.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/hostui.h"

#include <QJsonArray>
#include <QJsonObject>

#include <memory>

inline const QString kProduto = QStringLiteral("0000000041");
inline const QStringList kAssuntos105 = {
    QStringLiteral("00010"), QStringLiteral("00011"), QStringLiteral("00015"), QStringLiteral("00016"),
    QStringLiteral("00019"), QStringLiteral("00050"), QStringLiteral("00051"), QStringLiteral("00052"),
    QStringLiteral("00053"), QStringLiteral("00054"), QStringLiteral("00055"), QStringLiteral("00056"),
    QStringLiteral("00057"), QStringLiteral("00061"), QStringLiteral("00062"), QStringLiteral("00063"),
    QStringLiteral("00064"), QStringLiteral("00102"), QStringLiteral("00104")};

// A request of the product in a workflow phase (CDFASETRAM: "060" under test, "070" tested
// with error, "080" without error, "090" waiting for regeneration, "100" homologated).
QJsonObject solicitacao(const QString &numero, const QString &fase, const QString &assunto = QStringLiteral("00020"));
// Modified and released files of a request.
QJsonObject comModificados(QJsonObject solicitacao, const QStringList &caminhos, const QString &tarefa = {});
QJsonObject comLiberados(QJsonObject solicitacao, const QStringList &caminhos);
// A member of a group: the request with its decision flags ("S" in the position named:
// "H" homologate, "R" regenerate, "E" return with error; empty: all "N").
QJsonObject membro(const QString &numero, const QString &decisao = {});
QJsonObject grupo(const QString &codigo, const QJsonArray &membros, const QString &release = QStringLiteral("501023"),
                  const QString &fase = QStringLiteral("006"));
QJsonObject agrupamento(const QString &sequencia, const QStringList &numeros);
// Request item of a list: branch 0001 and the number zero-filled to 10.
QString item(const QString &numero);

class HomologacaoTest : public DataModuleServerTest {
protected:
    void SetUp() override;

    // Imports requests, groups and groupings on the base document.
    void importa(const QJsonArray &solicitacoes, const QJsonArray &grupos, const QJsonArray &agrupamentos = {},
                 const QString &release = QStringLiteral("501023"));
    // The data module loaded as the command line loads it, every group listed.
    void carrega();
    // The data module standing on a group (its requests and files loaded).
    void vaiPara(const QString &codigo);
    // Marks groups for homologation, as the operator does.
    void marca(const QStringList &codigos);

    // Server state read through the dispatcher.
    QString faseDaSolicitacao(const QString &numero);
    QString responsavelDaSolicitacao(const QString &numero);
    QString ultimoAssunto(const QString &numero);
    QString faseDoGrupo(const QString &codigo);
    QString releaseDoProduto();


};

// The modal messages and questions shown, in order (busy animations left out).
QList<ScriptedHostUi::Shown> mensagens(const ScriptedHostUi &ui);

