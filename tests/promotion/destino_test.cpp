// Where each kind of file goes in the distribution trees, where its artefact is built,
// and how paths move between roots.

#include "promotion/destino.h"

#include "platform/files.h"

#include "support/testenv.h"

#include <gtest/gtest.h>

namespace files = platform::files;

namespace {

struct Caso {
    const char *caminho;
    const char *destino;
    const char *cliente;
    const char *compilado;
};

}  // namespace

TEST(DestinoDeArquivo, EachKindGoesToItsFolder)
{
    const Caso casos[] = {
        // Projects: programs, libraries and packages, by source folder.
        {R"(C:\W\SRV\SRC\ABC\ABC.DPR)", R"(Bin\Server\ABC.dll)", "", R"(C:\W\SRV\Bin\ABC.dll)"},
        {R"(C:\W\CLI\SRC\X\X.DPR)", R"(Bin\Client\X.exe)", "", R"(C:\W\CLI\Bin\X.exe)"},
        {R"(C:\W\SRV\SRC\SRV_Y\SRV_Y.DPR)", R"(Bin\Server\SRV_Y.exe)", "", R"(C:\W\SRV\Bin\SRV_Y.exe)"},
        {R"(C:\W\SRV\SRC\D\DUV.DPR)", R"(Bin\Server\DUV.exe)", "", R"(C:\W\SRV\Bin\DUV.exe)"},
        {R"(C:\W\ZQL\SRC\M\M.DPR)", R"(Bin\Server\M.dll)", "", R"(C:\W\ZQL\Bin\M.dll)"},
        {R"(C:\W\CLI\SRC\UTL\QRDEXP\Q.DPR)", R"(Bin\Server\Q.dll)", "", R"(C:\W\ZQL\Bin\Q.dll)"},
        {R"(C:\W\CLI\SRC\PKG\P.dpk)", R"(Bin\Client\P.bpl)", "", R"(C:\W\CLI\Bin\P.bpl)"},
        {R"(C:\W\QIR\HOMOLOGADO\Q1.dpr)", R"(Bin\Client\Q1.exe)", "", R"(C:\W\QIR\Cli\Bin\Q1.exe)"},
        // A project outside the known folders: a bare name, and no artefact to build.
        {R"(C:\W\OUTRO\Z.DPR)", "Z", "", ""},
        {R"(C:\W\OUTRO\Z.dpk)", R"(Bin\Client\Z.bpl)", "", ""},
        // Reports, datasets and scripts keep their name, upper case, and their own path as artefact.
        {R"(C:\W\SRV\REL\R1.qr2)", R"(Ftp\RelFtp\R1.QR2)", "", R"(C:\W\SRV\REL\R1.qr2)"},
        {R"(C:\W\SRV\Cds\d1.cds)", R"(Bin\Server\Cds\D1.CDS)", "", R"(C:\W\SRV\Cds\d1.cds)"},
        {R"(C:\W\SQL\ORACLE\X1.sql)", R"(Sql\End_Conv\Oracle\X1.SQL)", "", R"(C:\W\SQL\ORACLE\X1.sql)"},
        {R"(C:\W\sql\scripts_oracle\x2.sql)", R"(Sql\End_Conv\Oracle\X2.SQL)", "", R"(C:\W\sql\scripts_oracle\x2.sql)"},
        {R"(C:\W\SQL\MSSQL\X3.sql)", R"(Sql\End_Conv\SQLServer\X3.SQL)", "", R"(C:\W\SQL\MSSQL\X3.sql)"},
        {R"(C:\W\SRV\SRC\A\Unit1.pas)", "UNIT1.PAS", "", R"(C:\W\SRV\SRC\A\Unit1.pas)"},
        // Names with a longer or without an extension are not cut.
        {R"(C:\W\WEB\Pagina.html)", "PAGINA.HTML", "", R"(C:\W\WEB\Pagina.html)"},
        {R"(C:\W\DOC\LEIAME)", "LEIAME", "", R"(C:\W\DOC\LEIAME)"},
        // Client-specific files: the client code is the three characters after "CLIENTES\",
        // and the client destination keeps the name's case.
        {R"(C:\W\SRV\CLIENTES\ABC\R1.qr2)", R"(Ftp\RelFtp\R1.QR2)", R"(Ftp\RelFtp\Clientes\ABC\R1.QR2)",
         R"(C:\W\SRV\CLIENTES\ABC\R1.qr2)"},
        {R"(C:\W\Srv\Clientes\xyZ\Src\Proj.dpr)", R"(Bin\Server\PROJ.dll)", R"(Bin\Server\Clientes\xyZ\Proj.dll)",
         R"(C:\W\Srv\Bin\Proj.dll)"},
        {R"(C:\W\SRV\CLIENTES\K01\SRV_K.DPR)", R"(Bin\Server\SRV_K.exe)", R"(Bin\Server\Clientes\K01\SRV_K.exe)",
         R"(C:\W\SRV\Bin\SRV_K.exe)"},
        {R"(C:\W\CLI\CLIENTES\K01\Tela.DPR)", R"(Bin\Client\TELA.exe)", R"(Bin\Client\Clientes\K01\Tela.exe)",
         R"(C:\W\CLI\Bin\Tela.exe)"},
        {R"(C:\W\CLI\CLIENTES\K01\Pac.dpk)", R"(Bin\Client\PAC.bpl)", R"(Bin\Client\Clientes\K01\Pac.bpl)",
         R"(C:\W\CLI\Bin\Pac.bpl)"},
        {R"(C:\W\SRV\CDS\CLIENTES\K01\d.cds)", R"(Bin\Server\Cds\D.CDS)", R"(Bin\Server\Cds\Clientes\K01\d.CDS)",
         R"(C:\W\SRV\CDS\CLIENTES\K01\d.cds)"},
        {R"(C:\W\SQL\Oracle\Clientes\K01\s.sql)", R"(Sql\End_Conv\Oracle\S.SQL)",
         R"(Sql\End_Conv\Oracle\Clientes\K01\s.SQL)", R"(C:\W\SQL\Oracle\Clientes\K01\s.sql)"},
        {R"(C:\W\SQL\Clientes\K01\s.sql)", R"(Sql\End_Conv\SQLServer\S.SQL)",
         R"(Sql\End_Conv\SQLServer\Clientes\K01\s.SQL)", R"(C:\W\SQL\Clientes\K01\s.sql)"},
        // No client rule for the utility and the separate program tree, nor for other kinds.
        {R"(C:\W\QIR\HOMOLOGADO\CLIENTES\K01\Q.DPR)", R"(Bin\Client\Q.exe)", "", R"(C:\W\QIR\Cli\Bin\Q.exe)"},
        {R"(C:\W\SRV\CLIENTES\K01\U.pas)", "U.PAS", "", R"(C:\W\SRV\CLIENTES\K01\U.pas)"},
        // "/" ends the folder part as "\" does: the name is what follows it.
        {R"(C:\W\SQL\ORACLE/X4.sql)", R"(Sql\End_Conv\Oracle\X4.SQL)", "", R"(C:\W\SQL\ORACLE/X4.sql)"},
        {R"(C:\W\SRV\REL/R5.qr2)", R"(Ftp\RelFtp\R5.QR2)", "", R"(C:\W\SRV\REL/R5.qr2)"},
        // The word without its folder is no client folder.
        {R"(C:\W\SQL\ClientesNovos.sql)", R"(Sql\End_Conv\SQLServer\CLIENTESNOVOS.SQL)", "",
         R"(C:\W\SQL\ClientesNovos.sql)"},
    };
    for (const Caso &caso : casos) {
        SCOPED_TRACE(caso.caminho);
        EXPECT_EQ(Arquivo_Destino(caso.caminho), caso.destino);
        EXPECT_EQ(Cliente_Arquivo(caso.caminho), caso.cliente);
        EXPECT_EQ(Arquivo_Compilado(caso.caminho), caso.compilado);
    }
}

TEST(DestinoDeArquivo, RootsAreReplacedByPosition)
{
    EXPECT_EQ(TrocaRoot(R"(C:\Des\Srv\A.pas)", R"(C:\Des)", R"(C:\Hom)"), R"(C:\Hom\Srv\A.pas)");
    EXPECT_EQ(TrocaRoot(R"(C:\Des\Srv\A.pas)", R"(C:\Des\)", R"(C:\Hom\)"), R"(C:\Hom\Srv\A.pas)");
    // Without drives, both the path and the old root are taken as being on C:.
    EXPECT_EQ(TrocaRoot(R"(\Des\Srv\A.pas)", R"(\Des\)", R"(D:\Hom)"), R"(D:\Hom\Srv\A.pas)");
    EXPECT_EQ(TrocaRoot(R"(\Des\Srv\A.pas)", R"(C:\Des)", R"(C:\Hom)"), R"(C:\Hom\Srv\A.pas)");
    EXPECT_EQ(TrocaRoot(R"(c:\des\Srv\A.pas)", R"(C:\DES)", R"(E:\H)"), R"(E:\H\Srv\A.pas)");
    // Another drive on both sides still lines up.
    EXPECT_EQ(TrocaRoot(R"(D:\Des\Srv\A.pas)", R"(D:\Des)", R"(E:\Hom)"), R"(E:\Hom\Srv\A.pas)");
    // The cut is by length: whether the path starts with the old root is not checked.
    EXPECT_EQ(TrocaRoot(R"(C:\Xyz\Srv\A.pas)", R"(C:\Des)", R"(C:\Hom)"), R"(C:\Hom\Srv\A.pas)");

    EXPECT_EQ(Remove_Raiz(R"(C:\Pre\Bin\X.dll)", R"(C:\Pre)"), R"(Bin\X.dll)");
    EXPECT_EQ(Remove_Raiz(R"(C:\Pre\Bin\X.dll)", R"(C:\Pre\)"), R"(Bin\X.dll)");
}

TEST(DestinoDeArquivo, WebFilesKeepTheirPlaceInLowerCase)
{
    EXPECT_EQ(Arquivo_Destino_Asp(R"(C:\Web\Paginas\Cad.ASP)", R"(C:\Web)"), R"(paginas\cad.asp)");
    EXPECT_EQ(Arquivo_Destino_Asp(R"(C:\Web\Zql\Src\Modulo.DPR)", R"(C:\Web\)"), R"(zql\bin\modulo.dll)");
    EXPECT_EQ(Arquivo_Origem_Asp(R"(C:\Web\Paginas\Cad.ASP)", R"(C:\Web\)"), R"(C:\Web\paginas\cad.asp)");
    // The root is put in front as given: no separator is added.
    EXPECT_EQ(Arquivo_Origem_Asp(R"(C:\Web\Paginas\Cad.ASP)", R"(C:\Web)"), R"(C:\Webpaginas\cad.asp)");
    // Moving such a source to another root gives the same path whether or not the root ended with "\".
    EXPECT_EQ(TrocaRoot(Arquivo_Origem_Asp(R"(C:\Web\Paginas\Cad.ASP)", R"(C:\Web)"), R"(C:\Web)", R"(C:\Hom)"),
              TrocaRoot(Arquivo_Origem_Asp(R"(C:\Web\Paginas\Cad.ASP)", R"(C:\Web\)"), R"(C:\Web\)", R"(C:\Hom)"));
}

TEST(DestinoDeArquivo, FoldersAreCreatedOneLevelAtATime)
{
    MountedDrive drive;
    // The root itself is created when missing; the file name never becomes a folder.
    Cria_Diretorios(R"(C:\Pre\)", R"(Bin\Server\X.dll)");
    EXPECT_TRUE(files::dirExists(R"(C:\Pre\Bin\Server)"));
    EXPECT_FALSE(files::dirExists(R"(C:\Pre\Bin\Server\X.dll)"));
    EXPECT_FALSE(files::fileExists(R"(C:\Pre\Bin\Server\X.dll)"));

    // Existing levels are found without regard to case and not created twice.
    Cria_Diretorios(R"(C:\PRE)", R"(BIN\Server\Clientes\K01\Y.dll)");
    EXPECT_TRUE(files::dirExists(R"(C:\Pre\Bin\Server\Clientes\K01)"));
    EXPECT_EQ(files::listDir(R"(C:\Pre)", "*", files::EntryKind::Dirs), QStringList{"Bin"});

    // A root whose parent is missing cannot be created in one level: nothing is created, nothing fails.
    Cria_Diretorios(R"(C:\Falta\Pre\)", R"(Bin\Z.dll)");
    EXPECT_FALSE(files::dirExists(R"(C:\Falta)"));
    // A root on no mount is not reported either.
    EXPECT_NO_THROW(Cria_Diretorios(R"(Q:\Nenhum\)", R"(Bin\Z.dll)"));
}

TEST(DestinoDeArquivo, TempDirHasNoTrailingSeparator)
{
    const QString temp = TempDir();
    EXPECT_FALSE(temp.endsWith('\\'));
    EXPECT_TRUE(files::dirExists(temp)) << temp.toStdString();
    EXPECT_TRUE(files::dirExists(temp + R"(\)"));
}

// A path from the data reaches a command line only when it stays inside its root and
// cannot be split or cut; one with blanks is quoted into one argument.
TEST(DestinoDeArquivo, PathsFromTheDataAreRefusedBeforeAnyCommand)
{
    const QString raiz = R"(C:\Desenv\ERP)";
    const struct {
        const char *caminho;
        const char *motivo;  // empty: accepted
    } casos[] = {
        {R"(C:\Desenv\ERP\SRV\A.pas)", ""},
        {R"(c:\desenv\erp\Meus Fontes\A.pas)", ""},
        // leaving the working copy
        {R"(C:\Desenv\ERP\..\..\Homol\A.pas)", "o caminho contém o componente \"..\""},
        {R"(C:\Desenv\ERP\.\A.pas)", "o caminho contém o componente \".\""},
        {R"(C:\Desenv\ERPX\A.pas)", R"(o caminho não está dentro de C:\Desenv\ERP)"},
        {R"(C:\Outro\A.pas)", R"(o caminho não está dentro de C:\Desenv\ERP)"},
        {R"(C:\Desenv\ERP)", R"(o caminho não está dentro de C:\Desenv\ERP)"},
        // what a command line would split or cut
        {R"(C:\Desenv\ERP\SRV\A.pas C:\Homol\ERP)", "o caminho contém outro caminho"},
        {"C:\\Desenv\\ERP\\SRV\\A.pas\"", "o caminho contém aspas ou caracteres de controle"},
        {"C:\\Desenv\\ERP\\SRV\\A\n.pas", "o caminho contém aspas ou caracteres de controle"},
        {R"(C:\Desenv\ERP\SRV\ A.pas)", "o caminho tem espaços no começo ou no fim de um nome"},
        {R"(C:\Desenv\ERP\\A.pas)", "o caminho contém uma pasta sem nome"},
        {"", "o caminho está vazio"},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.caminho);
        EXPECT_EQ(CaminhoRecusado(QString::fromUtf8(caso.caminho), raiz), QString::fromUtf8(caso.motivo));
    }
    EXPECT_EQ(ArgumentoDeCaminho(R"(C:\A\b.pas)"), R"(C:\A\b.pas)");
    EXPECT_EQ(ArgumentoDeCaminho(R"(C:\Meus Fontes\b.pas)"), R"("C:\Meus Fontes\b.pas")");
    EXPECT_EQ(ArgumentoDeCaminho(R"(C:\Meus Fontes\)"), R"("C:\Meus Fontes\\")");
}
