#include "demo.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "platform/socketio.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

#include <stdexcept>

namespace demo {

namespace files = platform::files;

namespace {

const QString kBranch = QStringLiteral("0001");

// Written into the ready marker: a workspace of an older layout is built again.
const QByteArray kLayout = "layout 4: trunk, branches and tags; groups taken to their phases by the road; Windows-1252 scripts, an Oracle and a SQL Server script of one name\n";

// The sample product: a compiled product with server and client sources, a package,
// scripts for both databases, a report, a menu dataset and a client-specific report.
struct SampleFile {
    const char *path;  // relative to the product root
    const char *text;
};

const SampleFile kSampleFiles[] = {
    {"ZQL\\SRC\\Cadastro\\Cadastro.dpr",
     "library Cadastro;\r\n\r\nuses\r\n  UCadastro in 'UCadastro.pas';\r\n\r\n{$R *.res}\r\n\r\nbegin\r\nend.\r\n"},
    {"ZQL\\SRC\\Cadastro\\UCadastro.pas",
     "unit UCadastro;\r\n\r\ninterface\r\n\r\nfunction ValidaCliente(const Codigo: string): Boolean;\r\n\r\n"
     "implementation\r\n\r\nfunction ValidaCliente(const Codigo: string): Boolean;\r\nbegin\r\n  Result := Codigo <> '';\r\n"
     "end;\r\n\r\nend.\r\n"},
    {"SRV\\SRC\\SRV_Agenda\\SRV_Agenda.dpr",
     "program SRV_Agenda;\r\n\r\nuses\r\n  UAgenda in 'UAgenda.pas';\r\n\r\nbegin\r\n  ExecutaAgenda;\r\nend.\r\n"},
    {"SRV\\SRC\\SRV_Agenda\\UAgenda.pas",
     "unit UAgenda;\r\n\r\ninterface\r\n\r\nprocedure ExecutaAgenda;\r\n\r\nimplementation\r\n\r\nprocedure ExecutaAgenda;\r\n"
     "begin\r\nend;\r\n\r\nend.\r\n"},
    // (laid out as the dataset layer writes it, so that a stamp changes only its own row)
    {"SRV\\CDS\\Menu.cds",
     "<?xml version=\"1.0\" standalone=\"yes\"?>\n<DATAPACKET Version=\"2.0\">\n  <METADATA>\n    <FIELDS>\n"
     "      <FIELD attrname=\"CDMENUITEM\" fieldtype=\"string\" WIDTH=\"20\" />\n"
     "      <FIELD attrname=\"DSCAPTION\" fieldtype=\"string\" WIDTH=\"60\" />\n    </FIELDS>\n    <PARAMS />\n  </METADATA>\n"
     "  <ROWDATA>\n    <ROW CDMENUITEM=\"CADASTRO\" DSCAPTION=\"Cadastro de clientes\" />\n"
     "    <ROW CDMENUITEM=\"RELATORIOS\" DSCAPTION=\"Relatórios\" />\n  </ROWDATA>\n</DATAPACKET>\n"},
    {"CLI\\SRC\\Principal\\Principal.dpr",
     "program Principal;\r\n\r\nuses\r\n  Forms,\r\n  UPrincipal in 'UPrincipal.pas' {frmPrincipal},\r\n"
     "  USobre in 'USobre.pas';\r\n\r\nbegin\r\n  Application.Initialize;\r\n  Application.Run;\r\nend.\r\n"},
    {"CLI\\SRC\\Principal\\UPrincipal.pas",
     "unit UPrincipal;\r\n\r\ninterface\r\n\r\nuses Forms;\r\n\r\ntype\r\n  TfrmPrincipal = class(TForm)\r\n  end;\r\n\r\n"
     "implementation\r\n\r\n{$R *.dfm}\r\n\r\nend.\r\n"},
    {"CLI\\SRC\\Principal\\USobre.pas",
     "unit USobre;\r\n\r\ninterface\r\n\r\nconst Versao = '1.00.000';\r\n\r\nimplementation\r\n\r\nend.\r\n"},
    {"CLI\\SRC\\PKG\\PKGComponentes.dpk",
     "package PKGComponentes;\r\n\r\nrequires\r\n  rtl;\r\n\r\ncontains\r\n  UComponentes in 'UComponentes.pas';\r\n\r\nend.\r\n"},
    {"CLI\\SRC\\PKG\\UComponentes.pas",
     "unit UComponentes;\r\n\r\ninterface\r\n\r\nprocedure Register;\r\n\r\nimplementation\r\n\r\nprocedure Register;\r\n"
     "begin\r\nend;\r\n\r\nend.\r\n"},
    {"SQL\\Oracle\\ATU_0001.sql",
     "-- Ajuste do cadastro de clientes: e-mail em min\xfasculas (\x93padr\xe3o\x94 da vers\xe3o)\r\n"
     "CREATE OR REPLACE PROCEDURE Atualiza_Email_Cliente(pCodigo IN NUMBER) IS\r\n"
     "BEGIN\r\n  UPDATE CLIENTE SET DSEMAIL = LOWER(DSEMAIL) WHERE CDCLIENTE = pCodigo;\r\nEND;\r\n/\r\n"},
    {"SQL\\SQLServer\\ATU_0001.sql",
     "-- Ajuste do cadastro de clientes: exibi\xe7\xe3o do e-mail e da situa\xe7\xe3o\r\nCREATE VIEW VW_CLIENTE_EMAIL AS\r\n"
     "SELECT CDCLIENTE, DSEMAIL FROM CLIENTE\r\nGO\r\n"},
    {"SQL\\SQLServer\\ATU_0002.sql",
     "-- \xcdndice de pedidos por data\r\nCREATE INDEX IX_PEDIDO_DATA ON PEDIDO (DTPEDIDO)\r\nGO\r\n"},
    // The resource script whose first two lines patch generation stamps with the version.
    // Scripts and resources are Windows-1252 with CRLF, as the software house writes them.
    {"res\\versao.rc",
     "#define VER_PRODUCTVERSION_STR      \"1.00.000\"\r\n#define VER_PRODUCTVERSION          1,0,0,0\r\n"
     "\r\n// Informa\xe7\xf5" "es de vers\xe3o do ERP Exemplo \x96 \x93Jos\xe9 & C\xed" "a\x94\r\n"
     "VS_VERSION_INFO VERSIONINFO\r\nFILEVERSION VER_PRODUCTVERSION\r\n"},
    {"REL\\Vendas.qr2", "QR2\r\nTITULO=Relatório de vendas\r\nVERSAO=1.00.000\r\n"},
    {"REL\\Agenda.qr2", "QR2\r\nTITULO=Agenda do dia\r\nVERSAO=1.00.000\r\n"},
    {"REL\\Clientes.qr2", "QR2\r\nTITULO=Relação de clientes\r\nVERSAO=1.00.000\r\n"},
    {"CLIENTES\\ABC\\REL\\VendasABC.qr2", "QR2\r\nTITULO=Relatório de vendas ABC\r\nVERSAO=1.00.000\r\n"},
};

// The second product: a metadata-driven web portal whose windows are generated pages that
// the window builder makes again at patch generation.
const SampleFile kPortalFiles[] = {
    {"res\\versao.rc",
     "#define VER_PRODUCTVERSION_STR      \"1.00.000\"\r\n#define VER_PRODUCTVERSION          1,0,0,0\r\n"},
    {"products\\projects\\quorvel\\builder\\build.php", "<?php\r\n// Gera as janelas a partir dos metadados.\r\n"},
    {"products\\quorvel\\sources\\generated\\windows\\Clientes\\Clientes.html",
     "<html>\r\n<body>Cadastro de clientes</body>\r\n</html>\r\n"},
    {"products\\quorvel\\sources\\generated\\windows\\Clientes\\Clientes.js", "var clientes = {};\r\n"},
    {"products\\quorvel\\sources\\generated\\windows\\Pedido\\Pedido.html",
     "<html>\r\n<script>Framework.showPreviousWizardStage('NovoPedido', 'itens');</script>\r\n</html>\r\n"},
    {"web\\portal.css", "body { font-family: sans-serif; }\r\n"},
};

struct RequestPlan {
    const char *number;
    const char *title;
    const char *responsible;
    const char *subject;
    const char *status;
    QStringList touched;    // files the request changes, relative to the product root
    QStringList released;   // files the request releases for generation
    // Metadata-driven windows: the task activity that carries the request's pages and the
    // metadata release they were made at (15 digits).
    const char *task = "";
    const char *metaRelease = "";
};

struct GroupPlan {
    const char *code;
    const char *name;
    const char *phase;
    const char *release;
    QList<RequestPlan> requests;
};

QList<GroupPlan> portalPlans()
{
    const QString janelas = QStringLiteral("products\\quorvel\\sources\\generated\\windows\\");
    return {
        {"0000000007", "Telas do portal", "002", "",
         {{"0000002001", "Cadastro de clientes no portal", "Carla Dias", "00061", "001",
           {janelas + "Clientes\\Clientes.html", "web\\portal.css"},
           {janelas + "Clientes\\Clientes.html", "web\\portal.css"}, "0000000201", "000000000000010"},
          {"0000002002", "Assistente de pedidos", "Daniel Rocha", "00062", "001",
           {janelas + "Clientes\\Clientes.js", janelas + "Pedido\\Pedido.html"},
           {janelas + "Clientes\\Clientes.js", janelas + "Pedido\\Pedido.html"}, "0000000202", "000000000000012"}}},
    };
}

QList<GroupPlan> groupPlans()
{
    return {
        {"0000000005", "Versão inicial do cadastro", "007", "100000",
         {{"0000001011", "Cadastro de clientes", "Ana Souza", "00010", "006", {"ZQL\\SRC\\Cadastro\\UCadastro.pas"},
           {"ZQL\\SRC\\Cadastro\\Cadastro.dpr"}},
          {"0000001012", "Script inicial de clientes", "Bruno Lima", "00011", "006", {"SQL\\Oracle\\ATU_0001.sql"},
           {"SQL\\Oracle\\ATU_0001.sql"}}}},
        {"0000000004", "Ajustes de integração", "006", "100001",
         {{"0000001008", "Relatório de vendas do cliente ABC", "Carla Dias", "00015", "005",
           {"CLIENTES\\ABC\\REL\\VendasABC.qr2"}, {"CLIENTES\\ABC\\REL\\VendasABC.qr2"}},
          {"0000001009", "Índice de pedidos por data", "Bruno Lima", "00016", "003", {"SQL\\SQLServer\\ATU_0002.sql"},
           {"SQL\\SQLServer\\ATU_0002.sql"}},
          {"0000001010", "Tela sobre com a versão", "Ana Souza", "00019", "004", {"CLI\\SRC\\Principal\\USobre.pas"},
           {"CLI\\SRC\\Principal\\Principal.dpr"}}}},
        {"0000000006", "Melhorias de desempenho", "006", "100001",
         {{"0000001013", "Agenda mais rápida", "Carla Dias", "00050", "005",
           {"SRV\\SRC\\SRV_Agenda\\UAgenda.pas", "REL\\Agenda.qr2"}, {"REL\\Agenda.qr2"}}}},
        {"0000000003", "Relatórios de vendas", "003", "100001",
         {{"0000001006", "Totais no relatório de vendas", "Daniel Rocha", "00051", "002", {"REL\\Vendas.qr2"},
           {"REL\\Vendas.qr2"}},
          // The menu's report entry releases the report again: the group's interdependency
          // viewer has two requests generating the same file to show.
          {"0000001007", "Menu de relatórios", "Daniel Rocha", "00052", "002", {"SRV\\CDS\\Menu.cds"},
           {"SRV\\CDS\\Menu.cds", "REL\\Vendas.qr2"}}}},
        {"0000000002", "Componentes da tela principal", "002", "",
         {{"0000001005", "Componente de pesquisa", "Eva Martins", "00053", "001", {"CLI\\SRC\\PKG\\UComponentes.pas"},
           {"CLI\\SRC\\PKG\\PKGComponentes.dpk"}}}},
        {"0000000001", "Correções de cadastro", "001", "",
         {{"0000001001", "Validação do código do cliente", "Ana Souza", "00054", "001",
           {"ZQL\\SRC\\Cadastro\\UCadastro.pas"}, {"ZQL\\SRC\\Cadastro\\Cadastro.dpr"}},
          // Between them the pending group's requests release every kind of file that patch
          // generation builds or stamps: a library, a script, a menu dataset, a program, a
          // report and a package.
          // Its script comes in an Oracle and a SQL Server version of one name, which go to
          // two folders of the distribution trees.
          {"0000001002", "E-mail no cadastro de clientes", "Bruno Lima", "00055", "001",
           {"SQL\\SQLServer\\ATU_0001.sql", "SQL\\Oracle\\ATU_0001.sql"},
           {"SQL\\SQLServer\\ATU_0001.sql", "SRV\\CDS\\Menu.cds", "SQL\\Oracle\\ATU_0001.sql"}},
          {"0000001003", "Título da tela principal", "Eva Martins", "00056", "001",
           {"CLI\\SRC\\Principal\\UPrincipal.pas"},
           {"CLI\\SRC\\Principal\\Principal.dpr", "REL\\Vendas.qr2", "CLI\\SRC\\PKG\\PKGComponentes.dpk"}}}},
        // A finished request that waits for a group: the screen's request pick list offers it.
        {"", "", "", "",
         {{"0000001014", "Relação de clientes com e-mail", "Carla Dias", "00057", "", {"REL\\Clientes.qr2"},
           {"REL\\Clientes.qr2"}}}},
    };
}

QString svn(const QString &arguments)
{
    int code = -1;
    const QString output = platform::Process::run(QStringLiteral("svn ") + arguments + QStringLiteral(" --non-interactive"),
                                                  &code, 120000);
    if (code != 0)
        throw std::runtime_error(
            QStringLiteral("svn %1 falhou:\n%2").arg(platform::cmdline::maskPasswords(arguments), output).toStdString());
    return output;
}

// The revision a commit made ("Commit da revisão N."); the head revision when nothing changed.
QString committedRevision(const QString &output)
{
    static const QString marker = QStringLiteral("Commit da revisão ");
    const qsizetype at = output.lastIndexOf(marker);
    if (at < 0)
        return {};
    QString digits;
    for (qsizetype i = at + marker.size(); i < output.size() && output[i].isDigit(); ++i)
        digits += output[i];
    return digits;
}

// A sample file as its bytes are written in the source (some are Windows-1252).
void writeSample(const QString &logicalPath, const QByteArray &bytes)
{
    files::forceDirectories(logicalPath.section(u'\\', 0, -2));
    files::writeBytes(logicalPath, bytes);
}

// A product of the demo: where its repositories and trees are, its sample files, its groups.
struct ProductPlan {
    const char *code, *treeCode, *name, *version, *startVersion, *folder;  // folder: "ERP" under each root
    bool metadata;
    QList<SampleFile> files;
    QList<GroupPlan> groups;
};

// Both repositories hold the product in the trunk/branches/tags layout of a real product:
// the tags of the homologation go beside the trunk.
// `repos`: the URL of the folder that holds both repositories (file:// or a server's).
const QString kLocalRepos = QStringLiteral("file:///C:/Repos");
QString devUrl(const ProductPlan &plan, const QString &repos = kLocalRepos)
{
    return QStringLiteral("%1/Desenv/%2/trunk").arg(repos, QLatin1String(plan.folder));
}
QString homUrl(const ProductPlan &plan, const QString &repos = kLocalRepos)
{
    return QStringLiteral("%1/Homol/%2/trunk").arg(repos, QLatin1String(plan.folder));
}
QString devRoot(const ProductPlan &plan) { return QStringLiteral("C:\\Desenv\\") + QLatin1String(plan.folder); }
QString homRoot(const ProductPlan &plan) { return QStringLiteral("C:\\Homol\\") + QLatin1String(plan.folder); }

// The six locations of a product whose repositories are under `repos`.
QStringList locationsOf(const ProductPlan &plan, const QString &repos = kLocalRepos)
{
    const QString folder = QLatin1String(plan.folder);
    return {devUrl(plan, repos), devRoot(plan), homUrl(plan, repos), homRoot(plan),
            QStringLiteral("C:\\PreHomologados\\") + folder + u'\\', QStringLiteral("C:\\Homologados\\") + folder + u'\\'};
}

void checkOutProduct(const QString &trunkUrl, const QString &workingCopy)
{
    const QString productUrl = trunkUrl.section(u'/', 0, -2);
    svn(QStringLiteral("mkdir --parents %1/trunk %1/branches %1/tags -m \"Produto de exemplo\"").arg(productUrl));
    svn(QStringLiteral("checkout %1 %2").arg(trunkUrl, workingCopy));
}

// Writes the sample product into a working copy, adds and commits it.
QString importSample(const QString &workingCopy, const QList<SampleFile> &sample, const QString &message)
{
    for (const SampleFile &file : sample)
        writeSample(workingCopy + u'\\' + QString::fromUtf8(file.path), QByteArray(file.text));
    svn(QStringLiteral("add --force %1").arg(workingCopy));
    return committedRevision(svn(QStringLiteral("commit %1 -m \"%2\"").arg(workingCopy, message)));
}

void writeSettings(const QString &root, const QString &settingsFile, const QString &databaseFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.clear();
    platform::MountTable table;
    table.add(QStringLiteral("C:\\"), root + QStringLiteral("/c"));
    // The product's build tools are stand-ins built with the program, beside it.
    const QString tools = QCoreApplication::applicationDirPath();
    table.add(QStringLiteral("C:\\arquivos de programas\\borland\\delphi5"), tools + QStringLiteral("/delphi5"));
    table.add(QStringLiteral("F:\\HORVANE"), tools + QStringLiteral("/horvane"));
    table.writeToSettings(settings);
    settings.setValue(QStringLiteral("svn/password_file"), root + QStringLiteral("/svn-password"));
    settings.setValue(QStringLiteral("server/database"), databaseFile);
    settings.setValue(QStringLiteral("host/operator"), demoOperator());
    settings.setValue(QStringLiteral("host/branch"), kBranch);
    settings.setValue(QStringLiteral("host/attachment_folder"), QStringLiteral("C:\\Anexos"));
    settings.sync();

    QFile password(root + QStringLiteral("/svn-password"));
    if (!password.open(QIODevice::WriteOnly))
        throw std::runtime_error("could not write the demo password file");
    password.write("demo\n");
    password.close();
    password.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Builds one product's repositories, working copies and groups into `content`. Each
// request changes its files in a commit of its own, oldest group first, so that every
// modified file has a real previous and current revision.
void buildProduct(const ProductPlan &plan, Content &content, const Progress &say, bool road)
{
    const QString dev = devRoot(plan);
    const QString hom = homRoot(plan);
    checkOutProduct(devUrl(plan), dev);
    checkOutProduct(homUrl(plan), hom);
    say(QStringLiteral("Gravando o produto %1...").arg(QString::fromUtf8(plan.name)));
    const QString baseRevision = importSample(dev, plan.files, QStringLiteral("Produto %1: versão 1.00.000").arg(QLatin1String(plan.folder)));
    importSample(hom, plan.files, QStringLiteral("Produto %1 homologado: versão 1.00.000").arg(QLatin1String(plan.folder)));

    Product product;
    product.code = QString::fromUtf8(plan.code);
    product.treeCode = QString::fromUtf8(plan.treeCode);
    product.name = QString::fromUtf8(plan.name);
    product.branch = kBranch;
    product.version = QString::fromUtf8(plan.version);
    product.startVersion = QString::fromUtf8(plan.startVersion);
    product.metadata = plan.metadata;
    product.locations = locationsOf(plan);
    const QString pre = product.locations[4].chopped(1), homologados = product.locations[5].chopped(1);
    for (const QString &folder : {pre, homologados})
        files::forceDirectories(folder);
    // Both distribution trees already hold the scripts of the version they distribute
    // ("SQL\Oracle\X.sql" goes to "Sql\End_Conv\Oracle\X.SQL").
    for (const SampleFile &file : plan.files) {
        const QStringList parts = QString::fromUtf8(file.path).split(u'\\');
        if (parts.size() != 3 || parts[0] != u"SQL")
            continue;
        for (const QString &folder : {pre, homologados})
            writeSample(folder + QStringLiteral("\\Sql\\End_Conv\\") + parts[1] + u'\\' + parts[2].toUpper(),
                        QByteArray(file.text));
    }
    content.products.append(product);

    QHash<QString, QString> lastRevision;
    for (const SampleFile &file : plan.files)
        lastRevision.insert(QString::fromUtf8(file.path), baseRevision);
    for (const GroupPlan &groupPlan : plan.groups) {
        if (*groupPlan.code)
            say(QStringLiteral("Gravando as solicitações do grupo %1...").arg(QString::fromUtf8(groupPlan.name)));
        Group group;
        group.code = QString::fromUtf8(groupPlan.code);
        group.name = QString::fromUtf8(groupPlan.name);
        group.phase = QString::fromUtf8(groupPlan.phase);
        group.release = QString::fromUtf8(groupPlan.release);
        group.product = product.code;
        group.ageInDays = 60 - 10 * int(content.groups.size());
        for (const RequestPlan &requestPlan : groupPlan.requests) {
            Request request;
            request.branch = kBranch;
            request.number = QString::fromUtf8(requestPlan.number);
            request.title = QString::fromUtf8(requestPlan.title);
            request.remark = QStringLiteral("Solicitação de exemplo do espaço de demonstração.");
            request.responsible = QString::fromUtf8(requestPlan.responsible);
            request.subject = QString::fromUtf8(requestPlan.subject);
            request.status = QString::fromUtf8(requestPlan.status);
            // Validated with error ("004"), without ("005"), homologated ("006"): the verdict
            // the testers gave; "003": still under test.
            if (request.status == u"005" || request.status == u"006")
                request.verdict = QStringLiteral("sem-erro");
            else if (request.status == u"004")
                request.verdict = QStringLiteral("com-erro");
            // One request waits for its modelling project: its group cannot be marked.
            request.modellingHomologated = request.number != QStringLiteral("0000001013");
            if (!content.subjects.contains(request.subject))
                content.subjects.append(request.subject);
            for (const QString &relative : requestPlan.touched) {
                const QString path = dev + u'\\' + relative;
                QByteArray text = files::readBytes(path);
                const QString comment = path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive)
                    ? QStringLiteral("<!-- Solicitação %1: %2 -->\r\n")
                    : path.endsWith(QStringLiteral(".css"), Qt::CaseInsensitive) ? QStringLiteral("/* Solicitação %1: %2 */\r\n")
                                                                                : QStringLiteral("// Solicitação %1: %2\r\n");
                // A script's line is in the script's own encoding; a menu dataset gains a row.
                if (path.endsWith(QStringLiteral(".sql"), Qt::CaseInsensitive))
                    text += QStringLiteral("-- Solicitação %1: %2\r\n").arg(request.number, request.title).toLatin1();
                else if (path.endsWith(QStringLiteral(".cds"), Qt::CaseInsensitive))
                    text.replace("  </ROWDATA>", QStringLiteral("    <ROW CDMENUITEM=\"S%1\" DSCAPTION=\"%2\" />\n  </ROWDATA>")
                                                     .arg(request.number, request.title).toUtf8());
                else
                    text += comment.arg(request.number, request.title).toUtf8();
                files::writeBytes(path, text);
            }
            const QString revision = committedRevision(
                svn(QStringLiteral("commit %1 -m \"Solicitação %2: %3\"").arg(dev, request.number, request.title)));
            for (const QString &relative : requestPlan.touched) {
                request.modified.append({dev + u'\\' + relative, lastRevision.value(relative), revision});
                lastRevision.insert(relative, revision);
            }
            const QString task = QString::fromUtf8(requestPlan.task);
            if (!task.isEmpty())
                request.workItems.append({task, QStringLiteral("00001"), QStringLiteral("C:\\Atividades\\") + task});
            int sequence = 1;
            for (const QString &relative : requestPlan.released) {
                ReleasedFile released;
                released.path = dev + u'\\' + relative;
                released.sequence = QStringLiteral("%1").arg(sequence++, 3, 10, QLatin1Char('0'));
                released.clientSpecific = relative.contains(QStringLiteral("CLIENTES"), Qt::CaseInsensitive);
                if (plan.metadata) {
                    released.kind = QStringLiteral("web");
                    released.task = task;
                    released.activity = QStringLiteral("00001");
                    if (relative.contains(QStringLiteral("\\generated\\windows\\"), Qt::CaseInsensitive)) {
                        released.workItemType = QStringLiteral("72");
                        released.metaRelease = QString::fromUtf8(requestPlan.metaRelease);
                    }
                }
                request.released.append(released);
            }
            group.requests.append(request);
        }
        if (group.code.isEmpty()) {
            content.freeRequests += group.requests;
            continue;
        }
        // Groups past "Pendente" have had their files transferred to the homologated copy
        // (the tests' quick setup; the road transfers them itself).
        if (!road && group.phase > QStringLiteral("001")) {
            for (const Request &request : group.requests) {
                for (const ModifiedFile &modified : request.modified) {
                    const QString target = hom + modified.path.mid(dev.size());
                    if (!files::copyFile(modified.path, target))
                        throw std::runtime_error(QStringLiteral("Não foi possível copiar %1 para %2")
                                                     .arg(modified.path, target).toStdString());
                }
            }
            svn(QStringLiteral("commit %1 -m \"Grupo %2 transferido\"").arg(hom, group.code));
        }
        content.groups.append(group);
    }
}

QList<ProductPlan> productPlans()
{
    return {
        {"0000000010", "1P50", "ERP Exemplo", "100001", "100000", "ERP", false,
         QList<SampleFile>(std::begin(kSampleFiles), std::end(kSampleFiles)), groupPlans()},
        {"0000000020", "1P15", "Portal Web", "100001", "100001", "PORTAL", true,
         QList<SampleFile>(std::begin(kPortalFiles), std::end(kPortalFiles)), portalPlans()},
    };
}

Content buildRepositories(const Progress &progress, bool road)
{
    const auto say = [&](const QString &text) {
        if (progress)
            progress(text);
    };
    say(QStringLiteral("Criando os repositórios Subversion..."));
    files::forceDirectories(QStringLiteral("C:\\Repos"));
    int code = -1;
    for (const char *name : {"Desenv", "Homol"}) {
        const QString output = platform::Process::run(QStringLiteral("svnadmin create C:\\Repos\\%1").arg(QLatin1String(name)), &code);
        if (code != 0)
            throw std::runtime_error(output.toStdString());
    }
    for (const QString &folder : {QStringLiteral("C:\\Anexos"), QStringLiteral("C:\\temp")})
        files::forceDirectories(folder);

    Content content;
    content.operators = {{QStringLiteral("000000000001"), QStringLiteral("Operador de demonstração"), true},
                         {QStringLiteral("000000000002"), QStringLiteral("Ana Souza"), false},
                         {QStringLiteral("000000000003"), QStringLiteral("Bruno Lima"), false},
                         {QStringLiteral("000000000004"), QStringLiteral("Carla Dias"), false},
                         {QStringLiteral("000000000005"), QStringLiteral("Daniel Rocha"), false},
                         {QStringLiteral("000000000006"), QStringLiteral("Eva Martins"), false}};
    for (const ProductPlan &plan : productPlans())
        buildProduct(plan, content, say, road);
    return content;
}

}  // namespace

QString demoOperator() { return QStringLiteral("000000000001"); }

namespace {

// A request's workflow phase on the server for its status in the group.
QString phaseOfStatus(const QString &status)
{
    static const QHash<QString, QString> phases{{QStringLiteral("001"), QStringLiteral("030")},
                                                {QStringLiteral("002"), QStringLiteral("050")},
                                                {QStringLiteral("003"), QStringLiteral("060")},
                                                {QStringLiteral("004"), QStringLiteral("070")},
                                                {QStringLiteral("005"), QStringLiteral("080")},
                                                {QStringLiteral("006"), QStringLiteral("100")},
                                                {QStringLiteral("007"), QStringLiteral("090")}};
    return phases.value(status, QStringLiteral("020"));
}

QString dateTimeText(const QDateTime &time) { return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")); }

}  // namespace

QByteArray importDocument(const Content &content, bool atStart)
{
    QJsonArray operators;
    QHash<QString, QString> operatorCodes;
    for (const Operator &op : content.operators) {
        operators.append(QJsonObject{{"CDOPERADOR", op.code}, {"NMOPERADOR", op.name},
                                     {"IDEDITAGRUPO", op.editsGroups ? "S" : "N"}});
        operatorCodes.insert(op.name, op.code);
    }
    QJsonArray subjects;
    for (const QString &subject : content.subjects)
        subjects.append(QJsonObject{{"CDASSUNTO", subject}, {"DSASSUNTO", QStringLiteral("Assunto %1").arg(subject)}});

    QJsonArray products;
    for (const Product &product : content.products) {
        products.append(QJsonObject{{"CDPRODUTO", product.code},
                                    {"CDARVPROD", product.treeCode},
                                    {"NMPRODUTO", product.name},
                                    {"CDFILIAL", product.branch},
                                    {"IDGERRELEASEMETA", product.metadata ? "S" : "N"},
                                    {"release", atStart ? product.startVersion : product.version},
                                    {"DSDIRBASEVER", product.locations.value(1)},
                                    {"locations", QJsonArray::fromStringList(product.locations)}});
    }

    QJsonArray requests;
    QJsonArray groups;
    const QDateTime now = QDateTime::currentDateTime();
    QList<Group> all = content.groups;
    if (!content.freeRequests.isEmpty()) {
        Group free;
        free.product = content.products.value(0).code;
        free.requests = content.freeRequests;
        all.append(free);
    }
    for (Group group : all) {
        if (atStart && !group.code.isEmpty()) {
            group.phase = QStringLiteral("001");
            group.release.clear();
        }
        QJsonArray members;
        int queue = 1;
        for (Request request : group.requests) {
            if (group.code.isEmpty())
                request.status.clear();  // waiting for a group
            else if (atStart)
                request.status = QStringLiteral("001");
            QJsonArray modified;
            for (const ModifiedFile &file : request.modified)
                modified.append(QJsonObject{{"DSDIRARQCHECKOU", file.path},
                                            {"CDRELEASEARQANT", file.previousRevision},
                                            {"CDRELEASEARQATU", file.currentRevision}});
            QJsonArray workItems;
            for (const WorkItem &item : request.workItems)
                workItems.append(QJsonObject{{"NRTAREFA", item.task}, {"NRPLATIVTARE", item.activity}, {"DSDIRATIV", item.folder}});
            QJsonArray released;
            for (const ReleasedFile &file : request.released) {
                // The product stores the files to generate without their drive ("\\Desenv\\…").
                const QString withoutDrive = file.path.size() > 1 && file.path[1] == u':' ? file.path.mid(2) : file.path;
                QJsonObject record{{"DSARQPATCH", withoutDrive},
                                   {"NRSEQPATCH", file.sequence},
                                   {"IDARQESPECLIE", file.clientSpecific ? "S" : "N"},
                                   {"kind", file.kind.isEmpty() ? QStringLiteral("compiled") : file.kind}};
                if (!file.task.isEmpty()) {
                    record.insert("NRTAREFA", file.task);
                    record.insert("NRPLATIVTARE", file.activity);
                }
                if (!file.workItemType.isEmpty()) {
                    record.insert("CDTIPOITTRAB", file.workItemType);
                    record.insert("CDRELEASEMETA", file.metaRelease);
                }
                // A file released for a patch carries the patch's version (VRRPPP split in three).
                if (group.release.size() == 6) {
                    record.insert("CDVERPRODUTO", group.release.left(1));
                    record.insert("CDRELVERPROD", group.release.mid(1, 2));
                    record.insert("CDPATCHVERPR", group.release.mid(3));
                }
                released.append(record);
            }
            requests.append(QJsonObject{{"CDFILIAL", request.branch},
                                        {"NRSOLISERV", request.number},
                                        {"DSREFESOLI", request.title},
                                        {"TXOBSOLIGER", request.remark},
                                        {"CDPRODUTO", group.product},
                                        {"CDFASETRAM", phaseOfStatus(request.status)},
                                        {"CDOPERRESP", operatorCodes.value(request.responsible)},
                                        {"CDASSUNTO", request.subject},
                                        {"CDRELEASESOLI", group.release},
                                        {"MODELAGEM", request.modellingHomologated ? "N" : "S"},
                                        {"IDMODELHOMOL", request.modellingHomologated ? "S" : "N"},
                                        {"modifiedFiles", modified},
                                        {"releasedFiles", released},
                                        {"workItems", workItems}});
            const bool homologated = request.status == QStringLiteral("006");
            members.append(QJsonObject{{"CDFILIAL", request.branch},
                                       {"NRSOLISERV", request.number},
                                       {"NRPRIOSOLI", QStringLiteral("%1").arg(queue++, 3, 10, QLatin1Char('0'))},
                                       {"IDHOMOLSOL", homologated ? "S" : "N"},
                                       {"IDRETSOLERROPRO", "N"},
                                       {"IDENCSOLPATCREG", "N"}});
        }
        if (group.code.isEmpty())
            continue;
        const QDateTime created = now.addDays(-group.ageInDays);
        QJsonObject record{{"CDGRUPHOMOL", group.code},
                           {"DSGRUPHOMOL", group.name},
                           {"CDPRODUTO", group.product},
                           {"CDRELEASEGHOM", group.release},
                           {"IDSTGRUPHOM", group.phase},
                           {"DTCRIAGRHOM", dateTimeText(created)},
                           {"requests", members}};
        if (group.phase >= QStringLiteral("003"))
            record.insert("DTHRGERAGRUPSOL", dateTimeText(created.addDays(3)));
        if (group.phase == QStringLiteral("007"))
            record.insert("DTHRHOMOGRUPSOL", dateTimeText(created.addDays(9)));
        groups.append(record);
    }
    const QJsonObject document{{"operators", operators}, {"subjects", subjects}, {"products", products},
                               {"requests", requests}, {"groups", groups}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QString defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/homologa/demo");
}

QList<QStringList> roadSteps(const Content &content)
{
    QList<QStringList> steps;
    for (const Group &group : content.groups) {
        const int phase = group.phase.toInt();
        const QStringList advance{QStringLiteral("advance"), group.code, QStringLiteral("--yes"), QStringLiteral("--send-back")};
        for (int from = 1; from < std::min(phase, 6); ++from)
            steps.append(advance);
        if (phase < 6)
            continue;
        for (const Request &request : group.requests) {
            if (!request.verdict.isEmpty())
                steps.append({QStringLiteral("verdict"), request.branch, request.number, request.verdict});
        }
        if (phase == 7)
            steps.append(advance);
    }
    return steps;
}

Workspace prepare(const QString &root, bool reset, const Loader &load, const Progress &progress, const Road &road)
{
    Workspace workspace;
    workspace.root = root;
    workspace.settingsFile = root + QStringLiteral("/homologa.ini");
    workspace.databaseFile = root + QStringLiteral("/homologa.db");
    const QString readyMarker = root + QStringLiteral("/.ready");

    if (reset)
        QDir(root).removeRecursively();
    platform::settings::setFilePath(workspace.settingsFile);
    QFile ready(readyMarker);
    if (ready.open(QIODevice::ReadOnly) && ready.readAll() == kLayout) {
        platform::settings::loadMounts();
        return workspace;
    }
    ready.close();
    QDir(root).removeRecursively();
    if (!QDir().mkpath(root + QStringLiteral("/c")))
        throw std::runtime_error(QStringLiteral("Não foi possível criar a pasta %1").arg(root).toStdString());
    try {
        writeSettings(root, workspace.settingsFile, workspace.databaseFile);
        platform::settings::loadMounts();
        workspace.atStart = bool(road);
        workspace.content = buildRepositories(progress, workspace.atStart);
        if (load)
            load(workspace);
        if (road) {
            const QList<QStringList> steps = roadSteps(workspace.content);
            for (int i = 0; i < steps.size(); ++i) {
                if (progress)
                    progress(QStringLiteral("Levando os grupos às suas fases (%1 de %2): %3...")
                                 .arg(i + 1).arg(steps.size()).arg(steps[i].mid(0, 3).join(u' ')));
                road(workspace, steps[i]);
            }
        }
        QFile marker(readyMarker);
        if (!marker.open(QIODevice::WriteOnly) || marker.write(kLayout) != kLayout.size())
            throw std::runtime_error("could not mark the demo workspace as ready");
    } catch (...) {
        QDir(root).removeRecursively();
        throw;
    }
    return workspace;
}

RepositoryServer::RepositoryServer() = default;
RepositoryServer::~RepositoryServer() = default;

QString defaultServedRoot() { return defaultRoot() + QStringLiteral("-svnserve"); }

namespace {

// The working copies of the workspace (logical paths): the folders of its C:\ that hold
// a ".svn", the folders inside them not visited.
QStringList workingCopies(const QString &root)
{
    const QString drive = root + QStringLiteral("/c");
    QStringList found;
    QStringList pending{drive};
    while (!pending.isEmpty()) {
        const QString folder = pending.takeFirst();
        if (QFileInfo(folder + QStringLiteral("/.svn")).isDir()) {
            found.append(QStringLiteral("C:") + QString(folder.mid(drive.size())).replace(u'/', u'\\'));
            continue;
        }
        for (const QString &entry : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
            pending.append(folder + u'/' + entry);
    }
    found.sort();
    return found;
}

// The path of a repository URL below the folder of the repositories ("Homol/ERP/trunk"),
// for a file:// URL under C:\Repos, an svn:// URL of the demo's server or an https:// URL
// of a loopback server that serves them under "/svn"; empty otherwise.
QString pathInRepositories(const QString &url)
{
    static const QString local = QStringLiteral("file:///C:/Repos/");
    if (url.startsWith(local, Qt::CaseInsensitive))
        return url.mid(local.size());
    static const QRegularExpression served(QStringLiteral("^(?:svn|https)://127\\.0\\.0\\.1:\\d+(?:/svn)?/(.*)$"));
    const QRegularExpressionMatch match = served.match(url);
    return match.hasMatch() ? match.captured(1) : QString();
}

void writePrivate(const QString &nativePath, const QByteArray &bytes)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error(QStringLiteral("Não foi possível gravar %1").arg(nativePath).toStdString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace

QByteArray productsDocument(const QString &repos)
{
    QJsonArray products;
    for (const ProductPlan &plan : productPlans()) {
        const QStringList locations = locationsOf(plan, repos);
        products.append(QJsonObject{{"CDPRODUTO", QString::fromUtf8(plan.code)},
                                    {"CDARVPROD", QString::fromUtf8(plan.treeCode)},
                                    {"NMPRODUTO", QString::fromUtf8(plan.name)},
                                    {"CDFILIAL", kBranch},
                                    {"IDGERRELEASEMETA", plan.metadata ? "S" : "N"},
                                    {"DSDIRBASEVER", locations.value(1)},
                                    {"locations", QJsonArray::fromStringList(locations)}});
    }
    return QJsonDocument(QJsonObject{{"products", products}}).toJson();
}

std::unique_ptr<RepositoryServer> serveRepositories(const Workspace &workspace, const DocumentLoader &load, int port,
                                                    int urlPort)
{
    auto server = std::make_unique<RepositoryServer>();
    server->port = port > 0 ? port : platform::socketio::freeLoopbackPort();
    if (server->port <= 0)
        throw std::runtime_error("Não há porta livre em 127.0.0.1 para o svnserve.");
    server->url = QStringLiteral("svn://127.0.0.1:%1").arg(urlPort > 0 ? urlPort : server->port);

    // Nobody reads or writes without the repository password.
    const QString user = QStringLiteral("svn_") + files::logonName();
    const QString password = platform::settings::repositoryPassword();
    const QString users = server->usersFile = workspace.root + QStringLiteral("/svnserve-users");
    const QString config = server->configFile = workspace.root + QStringLiteral("/svnserve.conf");
    writePrivate(users, QStringLiteral("[users]\n%1 = %2\n").arg(user, password).toUtf8());
    // Who may do what: every account everything, until the file says otherwise (an
    // account locked with "[/]" and "user =" is kept across starts).
    const QString rules = server->rulesFile = workspace.root + QStringLiteral("/svnserve-authz");
    if (!QFileInfo::exists(rules))
        writePrivate(rules, "[/]\n* = rw\n");
    writePrivate(config, QStringLiteral("[general]\nanon-access = none\nauth-access = write\npassword-db = %1\n"
                                        "authz-db = %2\nrealm = Homologa\n")
                             .arg(users, rules)
                             .toUtf8());

    server->process = std::make_unique<platform::Process>();
    // svnserve must not outlive the program, however the program ends.
    server->process->setEndsWithUs();
    server->process->start(QStringLiteral("svnserve -d --foreground --listen-host 127.0.0.1 --listen-port %1 -r C:\\Repos "
                                          "--config-file \"%2\"")
                               .arg(server->port)
                               .arg(config));
    if (!platform::socketio::waitUntilListening(server->port, 10000)) {
        server->process->terminate();
        throw std::runtime_error(QStringLiteral("O svnserve não aceitou conexões em %1: %2\n%3")
                                     .arg(server->url, server->process->failure(), server->process->readAvailable())
                                     .toStdString());
    }

    pointRepositoriesAt(workspace, server->url, load);
    return server;
}

void pointRepositoriesAt(const Workspace &workspace, const QString &url, const DocumentLoader &load)
{
    const QString user = QStringLiteral("svn_") + files::logonName();
    const QString credentials = QStringLiteral("--no-auth-cache --username \"%1\" --password \"%2\"")
                                    .arg(user, platform::settings::repositoryPassword());
    for (const QString &copy : workingCopies(workspace.root)) {
        const QString current = svn(QStringLiteral("info --show-item url \"%1\"").arg(copy)).trimmed();
        const QString path = pathInRepositories(current);
        if (path.isEmpty())
            continue;
        const QString target = url + u'/' + path;
        if (target != current)
            svn(QStringLiteral("relocate %1 \"%2\" %3").arg(target, copy, credentials));
    }
    if (load)
        load(productsDocument(url));
}

}  // namespace demo
