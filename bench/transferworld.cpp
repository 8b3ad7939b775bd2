#include "transferworld.h"

#include "store/database.h"
#include "tools/import.h"

#include "host/hostsettings.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/copiatrabalho.h"

#include <QElapsedTimer>
#include <QFile>

#include <stdexcept>

namespace files = platform::files;

namespace transferworld {

namespace {
const QString kDevRoot = QStringLiteral("C:\\Desenv\\ERP");
const QString kHomRoot = QStringLiteral("C:\\Homol\\ERP");
}  // namespace

int fileCount() { return qEnvironmentVariableIsSet("HOMOLOGA_BENCH_SHORT") ? 10 : 200; }

QString svn(const QString &arguments)
{
    int code = -1;
    const QString output = platform::Process::run(QStringLiteral("svn ") + arguments, &code, 600000);
    if (code != 0)
        throw std::runtime_error(output.toStdString());
    return output;
}

demo::Workspace prepareWorkspace(const QString &root, int count, QString *revision)
{
    demo::Workspace workspace = demo::prepare(root, true, [](const demo::Workspace &built) {
        server::Database db(server::DatabaseSpec::parse(built.databaseFile));
        server::importDocument(db, demo::importDocument(built.content));
    });
    host::loadHostSettings();
    const QString folder = kDevRoot + QStringLiteral("\\SRV\\BENCH");
    files::forceDirectories(folder);
    QByteArray text;
    for (int line = 0; line < 60; ++line)
        text += "  Linha de exemplo do arquivo do benchmark de transferencia.\r\n";
    for (int i = 0; i < count; ++i)
        files::writeBytes(folder + QStringLiteral("\\F%1.pas").arg(i, 4, 10, QLatin1Char('0')), text);
    svn(QStringLiteral("add --parents ") + folder);
    svn(QStringLiteral("commit -m \"Arquivos do benchmark\" ") + kDevRoot);
    *revision = svn(QStringLiteral("info --show-item revision file:///C:/Repos/Desenv/ERP/trunk")).trimmed();

    QString modified;
    for (int i = 0; i < count; ++i)
        modified += QStringLiteral(R"(%1{"DSDIRARQCHECKOU": "C:\\Desenv\\ERP\\SRV\\BENCH\\F%2.pas", "CDRELEASEARQANT": "%3", "CDRELEASEARQATU": "%3"})")
                        .arg(i ? QStringLiteral(",") : QString())
                        .arg(i, 4, 10, QLatin1Char('0'))
                        .arg(*revision);
    // The group transfers the benchmark's files alone: its other requests keep no file, so
    // that both sides do the same work.
    const QByteArray document = QStringLiteral(R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "0000001001",
        "DSREFESOLI": "Benchmark", "CDPRODUTO": "0000000010", "CDFASETRAM": "030", "CDASSUNTO": "00054",
        "modifiedFiles": [%1]},
        {"CDFILIAL": "0001", "NRSOLISERV": "0000001002", "DSREFESOLI": "E-mail no cadastro de clientes",
        "CDPRODUTO": "0000000010", "CDFASETRAM": "030", "CDASSUNTO": "00055", "modifiedFiles": []},
        {"CDFILIAL": "0001", "NRSOLISERV": "0000001003", "DSREFESOLI": "Título da tela principal",
        "CDPRODUTO": "0000000010", "CDFASETRAM": "030", "CDASSUNTO": "00056", "modifiedFiles": []}]})").arg(modified).toUtf8();
    server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
    server::importDocument(db, document);
    // The homologated copy was refreshed a moment ago (its hourly update is not the
    // transfer's work, and the script has none).
    CopiaTrabalho::boAtualiza_Copia_Homol();
    return workspace;
}

QString minimalScript(int count, const QString &revision, const Access &access)
{
    QString script = QStringLiteral("set -e\nexport LC_ALL=pt_BR.UTF-8\n");
    script += QStringLiteral("dev=\"%1\"; hom=\"%2\"; n=%3; rev=%4; repos=\"%5\"; user=\"%6\"; pw=\"%7\"\n")
                  .arg(files::nativePath(kDevRoot), files::nativePath(kHomRoot))
                  .arg(count)
                  .arg(revision, access.repos, access.user, access.password);
    script += QStringLiteral(R"(
s() {
  if [ -n "$user" ]; then
    printf '%s\n' "$pw" | svn --non-interactive --no-auth-cache --username "$user" --password-from-stdin "$@"
  else
    svn --non-interactive "$@"
  fi
}
files=$(seq -f "F%04g.pas" 0 $((n-1)))
# The revisions the homologated copy has before (one call over every file).
s info --xml "$hom" > /dev/null
# The group's earlier attempts.
s log --xml -l 1 --search "Grupo de homologação: 0000000001" "$repos/Homol/ERP/trunk" > /dev/null
mkdir -p "$hom/SRV/BENCH"
for f in $files; do
  s export -q -r"$rev" --force "$repos/Desenv/ERP/trunk/SRV/BENCH/$f" "$hom/SRV/BENCH/$f" > /dev/null
done
s add -q --parents "$hom/SRV/BENCH" > /dev/null
s commit -q --depth empty -m"Grupo de solicitações: 0000000001" "$hom/SRV/BENCH" > /dev/null
for f in $files; do
  s commit -q -m"Grupo de homologação: 0000000001- Release: $rev" "$hom/SRV/BENCH/$f" > /dev/null
done
# The revisions after (one call over every file).
s info --xml "$hom/SRV/BENCH" > /dev/null
)");
    return script;
}

double runScript(const QString &folder, const QString &script)
{
    const QString scriptFile = folder + QStringLiteral("/transfer.sh");
    QFile file(scriptFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
        throw std::runtime_error("could not write the script");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QElapsedTimer timer;
    timer.start();
    int code = -1;
    const QString output = platform::Process::run(QStringLiteral("bash ") + scriptFile, &code, 1800000);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (code != 0)
        throw std::runtime_error(("the script failed: " + output).toStdString());
    return ms;
}

int committedFiles(int count, const QString &homUrl, const QString &credentials)
{
    const QString listing = svn(QStringLiteral("ls %1 %2/SRV/BENCH").arg(credentials, homUrl));
    return listing.count(QStringLiteral(".pas")) == count ? count : -1;
}

}  // namespace transferworld
