// Registration of the product's next patch, release or version on the embedded server.

#include "homologacaoenv.h"

#include "workflow/registro.h"

class RegistroTest : public HomologacaoTest {
protected:
    // A registration that records the calls it makes, with their arguments after the call.
    RegistroRelease registro()
    {
        RegistroRelease r(*dm);
        r.AoRegistrar = [this](const QString &metodo, const QStringList &argumentos) {
            chamadas << metodo + u'(' + argumentos.join(QStringLiteral(", ")) + u')';
        };
        return r;
    }
    QStringList chamadas;
};

TEST_F(RegistroTest, NextPatchRollsOverIntoReleaseAndVersion)
{
    struct Caso {
        const char *release;
        const char *registrado;  // dotted form answered
        QStringList chamadas;
        const char *novaRelease;  // the product's release afterwards
    };
    const Caso casos[] = {
        // The patch goes on, always three digits wide.
        {"501023", "5.01.024", {"Insere_Patch(0000000041, 5, 01, 024, 024)"}, "501024"},
        {"501998", "5.01.999", {"Insere_Patch(0000000041, 5, 01, 999, 999)"}, "501999"},
        // Patch 999: the next release first, with patch 000.
        {"501999", "5.02.000", {"Insere_Release(0000000041, 5, 02, 02)", "Insere_Patch(0000000041, 5, 02, 000, 000)"},
         "502000"},
        {"598999", "5.99.000", {"Insere_Release(0000000041, 5, 99, 99)", "Insere_Patch(0000000041, 5, 99, 000, 000)"},
         "599000"},
        // Release 99 and patch 999: the next version, with release 00 and patch 000.
        {"599999",
         "6.00.000",
         {"Insere_Versao(0000000041, 6)", "Insere_Release(0000000041, 6, 00, 00)", "Insere_Patch(0000000041, 6, 00, 000, 000)"},
         "600000"},
        {"899999",
         "9.00.000",
         {"Insere_Versao(0000000041, 9)", "Insere_Release(0000000041, 9, 00, 00)", "Insere_Patch(0000000041, 9, 00, 000, 000)"},
         "900000"},
    };
    importa({}, {});
    for (const Caso &c : casos) {
        chamadas.clear();
        EXPECT_EQ(registro().Atualiza_Versao(kProduto, c.release), c.registrado) << c.release;
        EXPECT_EQ(chamadas, c.chamadas) << c.release;
        EXPECT_EQ(releaseDoProduto(), c.novaRelease) << c.release;
    }
}

TEST_F(RegistroTest, ReleaseProdutoRegistersThePatchThatFollows)
{
    importa({}, {});
    registro().Atualiza_Release_Produto(kProduto, "501023");
    EXPECT_EQ(chamadas, QStringList({"Insere_Patch(0000000041, 5, 01, 024, 024)"}));
    EXPECT_EQ(releaseDoProduto(), "501024");
}

TEST_F(RegistroTest, RefusesWhatWouldRegisterAWrongCode)
{
    importa({}, {}, {}, "999999");
    const struct {
        const char *caso;
        std::function<void(RegistroRelease &)> acao;
        const char *texto;
    } casos[] = {
        // Version 9 cannot roll over into a one-character version: refused before any call.
        {"9.99.999", [](RegistroRelease &r) { r.Atualiza_Versao(kProduto, "999999"); }, "versão 9"},
        {"InsereVersao 9", [](RegistroRelease &r) { r.InsereVersao(kProduto, "9"); }, "versão 9"},
        {"InsereRelease 9.99", [](RegistroRelease &r) { r.InsereRelease(kProduto, "9", "99"); }, "versão 9"},
        // A code that is not six digits has no next patch.
        {"vazio", [](RegistroRelease &r) { r.Atualiza_Versao(kProduto, ""); }, "não é um código de release válido"},
        {"5.01.23", [](RegistroRelease &r) { r.Atualiza_Versao(kProduto, "50123"); }, "não é um código de release válido"},
    };
    for (const auto &c : casos) {
        chamadas.clear();
        RegistroRelease r = registro();
        const QList<QString> mensagens = interrompe(ui, [&] { c.acao(r); });
        ASSERT_EQ(mensagens.size(), 1) << c.caso;
        EXPECT_TRUE(mensagens[0].contains(QString::fromUtf8(c.texto))) << c.caso << ": " << mensagens[0].toStdString();
        EXPECT_TRUE(chamadas.isEmpty()) << c.caso;
    }
    EXPECT_EQ(releaseDoProduto(), "999999");
}

TEST_F(RegistroTest, AFailedRegistrationDiscardsTheGroupListChanges)
{
    importa({solicitacao("11", "080")}, {grupo("0000000012", {membro("11")})});
    carrega();
    marca({"0000000012"});
    ASSERT_GT(dm->cdsGrupo->ChangeCount(), 0);

    const QList<QString> mensagens = interrompe(ui, [&] { registro().Atualiza_Versao("0000000099", "501023"); });

    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_EQ(dm->cdsGrupo->ChangeCount(), 0);
    EXPECT_TRUE(chamadas.isEmpty());
}
