#pragma once

// The pre-homologated distribution tree: the copy of a group's generated files from the
// homologated working copy into the tree, with the backup of the versions it replaces, the
// list of the files it adds and the zip archives of executables and packages. The pieces
// shared with the homologated tree and the rollback live here too: the product families,
// the table of their variants, the loading of a group's file list and the progress shown.

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "platform/files.h"

class Dataset;
class TdmGrupSoliHom;
class ListaDeNovos;

// Product families, decided from the product tree code (CDARVPROD), first match wins:
// "P5" or "P6" compiled products, "P15" web pages, anything else form settings.
enum class Familia { Compilados, Web, Formularios };
Familia FamiliaDoProduto(const QString &cdArvProd);
// The family of a group of the group list (by code, without moving the list; the current
// group when the list does not hold it).
Familia FamiliaDoGrupo(const TdmGrupSoliHom &dm, const QString &grupo);

// One file of a request as the distribution copies see it, once rewritten by its variant.
struct ArquivoDistribuicao {
    QString filial;          // CDFILIAL
    QString numero;          // NRSOLISERV
    QString recebido;        // DSARQPATCH as the server sent it
    QString origem;          // DSARQPATCH rewritten: what is copied, in the development tree's terms
    QString destino;         // DSDIRDESTARQ: relative to a distribution tree's root
    QString destinoCliente;  // DSDIRDSTARQESPCLI (compiled products, client-specific records)
    bool especifico = false; // IDARQESPECLIE = "S"

    // Client-specific in the passes: flagged and with a client destination. A flagged
    // record whose path has no client segment is a general file with the destination the
    // server sent.
    bool doCliente() const { return especifico && !destinoCliente.isEmpty(); }
    QString destinoUsado() const { return doCliente() ? destinoCliente : destino; }
    // The request's folder in a backup area: CDFILIAL followed by NRSOLISERV.
    QString pastaDaSolicitacao() const { return filial + numero; }
};

// What differs between the three families in the distribution copies, as data: the list
// that names the files, how a file's destination and source are computed, and what the
// copy adds (zip archives, a staging copy).
struct VarianteDistribuicao {
    Familia familia;
    const char *metodo;                  // remote method of the file list
    Dataset *TdmGrupSoliHom::*lista;     // the data module's dataset it loads
    QString (*destino)(const QString &path, const QString &dirDesenv);
    QString (*origem)(const QString &path, const QString &dirDesenv);
    bool clientesEspecificos;            // client-specific destinations
    bool arquivosZip;                    // ".EXE" and ".BPL" files get zip archives
    bool copiaTemporaria;                // every file also goes to the staging tree
};
const VarianteDistribuicao &Variante(Familia familia);

// Loads the group's file list of a variant into its dataset and rewrites every record's
// destination and source as the variant says; the rewritten paths stay local.
QList<ArquivoDistribuicao> CarregaArquivos(TdmGrupSoliHom &dm, const VarianteDistribuicao &variante,
                                           const QString &grupo);

// The requests of a request list: one per line, CDFILIAL (4 characters) followed by
// NRSOLISERV (characters 5 to 14). Empty lines are left out.
struct ChaveSolicitacao {
    QString filial;
    QString numero;
};
QList<ChaveSolicitacao> SolicitacoesDaLista(const QString &lista);
// The records of one request, in list order.
QList<ArquivoDistribuicao> ArquivosDaSolicitacao(const QList<ArquivoDistribuicao> &arquivos,
                                                 const ChaveSolicitacao &solicitacao);
// How many records the requests of a list have.
int TotalDeArquivos(const QList<ArquivoDistribuicao> &arquivos, const QList<ChaveSolicitacao> &solicitacoes);
// A text of the homologation screen's message table.
QString Texto(const TdmGrupSoliHom &dm, const char *key, const QVariantList &args = {});

// Path helpers of the distribution trees.
QString ComBarra(const QString &folder);                // a trailing "\" when missing
QString Junta(const QString &root, const QString &relative);  // one "\" between them
QString NomeDoArquivo(const QString &path);             // the name after the last "\"
QString PastaDe(const QString &path);                   // the folder before the last "\"
QString ExtensaoMaiuscula(const QString &path);         // ".EXE"
bool EhExecutavelOuPacote(const QString &path);         // ".EXE" or ".BPL"
// Where the zip archives of a tree go: "Ftp\ExeFtp\" for a general file, and
// "Ftp\ExeFtp\Clientes\<ccc>\" for a client-specific one (ccc: the last three characters
// of the destination's folder).
QString PastaDosZips(const QString &raiz, const ArquivoDistribuicao &arquivo);

// A tree's root with its trailing "\"; an empty location is refused with an error that
// names what is missing ("homologados", "pré homologados") and the product.
QString RaizDaArvore(const QString &folder, const char *que, const QString &produto);

// The name of a group's backup area below a tree's root: "Backup KMT\" + group.
QString AreaDeBackup(const QString &raiz, const QString &grupo);
inline constexpr const char *kNovosArquivos = "NovosArquivos.Txt";

// The key of a file in a tree: its path with single "\" separators, in upper case, so that
// "C:\T\\Bin\A.exe" and "c:\t\bin\a.EXE" name one file.
QString ChaveDoArquivo(const QString &path);

// Where a backup area keeps the previous version of a file: below the request's folder, at
// the file's path relative to its tree, so that files of one name in two folders (the
// Oracle and the SQL Server version of one script) keep one backup each.
QString CaminhoNoBackup(const QString &area, const ArquivoDistribuicao &arquivo);
// Where an area written by an earlier version, flat by file name, kept it.
QString CaminhoNoBackupPlano(const QString &area, const ArquivoDistribuicao &arquivo);
// The backup that restores a file: its own; in an area of the flat layout the one of its
// name, unless the request had two files of that name with a previous version, which such
// an area cannot tell apart: the restore is then refused with a message that says so.
// `daSolicitacao` are the request's records, `novos` the area's list of new files, `raiz`
// the tree's root.
QString BackupParaRestaurar(const QString &area, const QString &raiz,
                            const ArquivoDistribuicao &arquivo, const QList<ArquivoDistribuicao> &daSolicitacao,
                            const ListaDeNovos &novos);

// Refuses, before anything is created or copied, the paths (each with the root of the copy
// or tree it belongs to) that a symbolic link at any level takes out of that root: one error
// that names each path and its link.
void RecusaLinksParaFora(const QList<std::pair<QString, QString>> &caminhos);

// Where the backup of a file of the tree (`atual`) is taken from: a backup of the same file
// that the area already holds for another request was taken from the original before the
// run changed the tree, which may now hold the new version; otherwise the file itself. The
// area belongs to the current run (an ended run's goes when its group is sent back).
QString OrigemDoBackup(const QString &area, const QString &atual, const ArquivoDistribuicao &arquivo,
                       const QList<ArquivoDistribuicao> &arquivos);

// A copy into a tree or a backup area; a failure adds NOT_COPY_FILE with why the copy failed
// (full disk, permission, missing folder) to `erros`, or raises it when `erros` is null.
bool Copia(const TdmGrupSoliHom &dm, const QString &fonte, const QString &destino, QStringList *erros = nullptr);
// The reason of a failed copy in the operator's words, the system's after them.
QString MotivoDaFalha(const platform::files::CopyOutcome &falha);

// A run of a copy into a tree, marked in the group's backup area while it lasts. A marker
// found at the start was left by a run that stopped half way (killed, or ended by errors):
// the operator and the group's log are told that it is being completed. Partial copies
// left in the folders of the tree are removed.
class ExecucaoNaArvore {
public:
    ExecucaoNaArvore(TdmGrupSoliHom &dm, const QString &grupo, const QString &area, const QString &oQue,
                     const QStringList &arquivos);
    // The run ended with every file in place: the marker goes.
    void concluida();
    bool retomada() const { return m_retomada; }
    static inline constexpr const char *kMarcador = "ExecucaoEmAndamento.Txt";

private:
    QString m_marcador;
    bool m_retomada = false;
};
// Removes the partial copies ("*.homologa-copy") left in the folders of these files; the
// ones removed.
QStringList RemoveCopiasIncompletas(const QStringList &arquivos);

// The files new to a tree that a backup area lists in its "NovosArquivos.Txt"; what an
// earlier, unfinished run listed stays listed. Paths compare by ChaveDoArquivo.
class ListaDeNovos {
public:
    explicit ListaDeNovos(const QString &area);
    bool contem(const QString &path) const { return m_chaves.contains(ChaveDoArquivo(path)); }
    void acrescenta(const QString &path);
    // Written only when it has lines.
    void grava() const;

private:
    QString m_arquivo;
    QStringList m_linhas;
    QSet<QString> m_chaves;
};

// The busy animation of an operation with its caption and, past a handful of files, how
// far it is ("... (3 de 40)"), also handed to the host as progress.
class Andamento {
public:
    explicit Andamento(const QString &legenda, int total = 0);
    ~Andamento();
    Andamento(const Andamento &) = delete;
    Andamento &operator=(const Andamento &) = delete;
    void setTotal(int total) { m_total = total; }
    void passo(int feitos);
    static constexpr int kPoucos = 5;

private:
    QString m_legenda;
    int m_total;
};

class PreHomologados {
public:
    explicit PreHomologados(TdmGrupSoliHom &dm) : dm(dm) {}

    // The group's generated files into the pre-homologated tree, one per family; each ends
    // normally or shows its errors as one and ends with the silent stop.
    void Atualiza_Pre_Homologados();
    void Atualiza_Pre_Homologados_Asp();
    void Atualiza_Pre_Homologados_SetForms();
    // The one of the current group's product family.
    void AtualizaPorFamilia();

    // Writes `folder` + the file's name + ".zip", an archive holding that one file with the
    // file's own date on the entry and on the archive.
    void Gera_Zip(const QString &file, const QString &folder);
    // Deletes a folder and everything below it; failures are left as they are.
    static void Apaga_Pasta(const QString &folder);

private:
    void Atualiza(const VarianteDistribuicao &variante);

    TdmGrupSoliHom &dm;
};
