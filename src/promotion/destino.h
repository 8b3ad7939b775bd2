#pragma once

// Where a request's file goes in each tree: the development working copy, the
// homologated working copy, the pre-homologated and homologated distribution trees and
// their backups. Every path here is a logical Windows path ("C:\W\SRV\SRC\A.DPR").
// Apart from Cria_Diretorios and TempDir these are pure text functions and never fail:
// unexpected input yields an empty or unchanged part, and callers test the existence of
// what they compute.

#include <QString>

// Relative destination of a file in a distribution tree, chosen by its kind:
// "C:\W\SRV\SRC\ABC\ABC.DPR" -> "Bin\Server\ABC.dll". Built from the upper-case path, so
// the name part is upper case.
QString Arquivo_Destino(const QString &path);

// Relative client-specific destination of a file below a "Clientes\ccc\" folder
// ("C:\W\SRV\CLIENTES\ABC\R1.qr2" -> "Ftp\RelFtp\Clientes\ABC\R1.QR2"); empty for a
// file that is not client-specific or of a kind without a client folder.
QString Cliente_Arquivo(const QString &path);

// Absolute path of the artefact that building a project source (".DPK", ".DPR")
// produces inside the same working copy; any other file is its own artefact. Empty for
// a project outside the known source folders: such a project cannot be built.
QString Arquivo_Compilado(const QString &path);

// The path moved from one root to another ("C:\Des\Srv\A.pas", "C:\Des", "C:\Hom" ->
// "C:\Hom\Srv\A.pas"). Paths and old roots without "C:" get it in front.
QString TrocaRoot(const QString &path, const QString &oldRoot, const QString &newRoot);

// The path relative to `root` (the root's length cut off, with a trailing "\" counted).
QString Remove_Raiz(const QString &path, const QString &root);

// Web-page files: the relative destination (lower case) and the absolute source. A web
// project source goes to "zql\bin\<name>.dll".
QString Arquivo_Destino_Asp(const QString &path, const QString &root);
QString Arquivo_Origem_Asp(const QString &path, const QString &root);

// Creates the missing folders of `relativeFile` below `root`, one level at a time; the
// file name itself is not created. Failures are not reported: the copy into the folder
// that follows fails and is reported by its caller.
void Cria_Diretorios(const QString &root, const QString &relativeFile);

// The folder part of a path with its final "\" ("C:\A\b.txt" gives "C:\A\"), and the name
// after it; empty folder for a bare name.
QString ExtractFilePath(const QString &path);
QString ExtractFileName(const QString &path);

// The temporary folder, without a trailing "\" (callers append "\Name.txt").
QString TempDir();

// Why a file path read from the data cannot be handed to a command: empty when it can.
// Refused are a "." or ".." component (the path would leave its tree), a double quote,
// a control character or blanks at either end of a component (a command line would split
// or cut it), and a path that is not below `root` (the working copy or tree it belongs to).
QString CaminhoRecusado(const QString &path, const QString &root);
// CaminhoRecusado, and then what the disk says: a path that a symbolic link at any level
// (the file, a folder, the root itself) takes out of `root` is refused, naming the link.
QString CaminhoRecusadoNoDisco(const QString &path, const QString &root);

// The path as one argument of a command line: as it is without blanks, otherwise between
// double quotes (with a final backslash doubled, so the closing quote stays a quote).
QString ArgumentoDeCaminho(const QString &path);
// Several paths as arguments of one command line, each as ArgumentoDeCaminho makes it.
QString ArgumentosDeCaminhos(const QStringList &paths);
