// The release board in a real browser: headless Chromium, driven through its DevTools
// protocol, signs in with the form, sees a group's card move to its new column after a
// transition made over the API (the page refreshes itself), and runs without a script
// error or a blocked resource. A screenshot is written under the build folder.

#include "serverenv.h"
#include "serverprocess.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QWebSocket>

namespace {

const QByteArray kToken = "token-do-navegador";

class Browser {
public:
    ~Browser()
    {
        m_socket.close();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    static QString program()
    {
        for (const char *name : {"chromium", "chromium-browser", "google-chrome"}) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!found.isEmpty())
                return found;
        }
        return {};
    }

    bool start(QString &error)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(), {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                                    QStringLiteral("--disable-dev-shm-usage"), QStringLiteral("--no-first-run"),
                                    QStringLiteral("--remote-debugging-port=0"), QStringLiteral("--window-size=1400,900"),
                                    QStringLiteral("--user-data-dir=") + m_profile.path(), QStringLiteral("about:blank")});
        QByteArray output;
        QRegularExpressionMatch match;
        static const QRegularExpression listening(QStringLiteral("DevTools listening on ws://127\\.0\\.0\\.1:(\\d+)/"));
        while (!(match = listening.match(QString::fromUtf8(output))).hasMatch()) {
            if (!m_process.waitForReadyRead(30000)) {
                error = QStringLiteral("o navegador não abriu a porta de depuração: ") + QString::fromUtf8(output.right(2000));
                return false;
            }
            output += m_process.readAll();
        }
        httplib::Client devtools("127.0.0.1", match.captured(1).toInt());
        const auto list = devtools.Get("/json/list");
        QString page;
        for (const QJsonValue &target : QJsonDocument::fromJson(list ? QByteArray::fromStdString(list->body) : QByteArray()).array()) {
            if (target[QStringLiteral("type")].toString() == u"page")
                page = target[QStringLiteral("webSocketDebuggerUrl")].toString();
        }
        if (page.isEmpty()) {
            error = QStringLiteral("o navegador não tem página aberta");
            return false;
        }
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString &text) { received(text); });
        QEventLoop loop;
        QObject::connect(&m_socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        m_socket.open(QUrl(page));
        loop.exec();
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            error = QStringLiteral("sem conexão com a página do navegador");
            return false;
        }
        for (const char *domain : {"Page.enable", "Runtime.enable", "Log.enable"})
            command(QString::fromLatin1(domain));
        return true;
    }

    QJsonObject command(const QString &method, const QJsonObject &params = {})
    {
        const int id = ++m_lastId;
        m_socket.sendTextMessage(QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}})
                .toJson(QJsonDocument::Compact)));
        waitUntil([&] { return m_answers.contains(id); }, 20000);
        return m_answers.take(id);
    }

    bool navigate(const QString &url)
    {
        m_loaded = false;
        command(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
        return waitUntil([&] { return m_loaded; }, 20000);
    }

    // Runs the script in the page and waits for a navigation it starts, when `loads`.
    QJsonValue evaluate(const QString &script, bool loads = false)
    {
        m_loaded = false;
        const QJsonObject answer = command(QStringLiteral("Runtime.evaluate"),
                                           {{QStringLiteral("expression"), script}, {QStringLiteral("returnByValue"), true}});
        if (loads)
            waitUntil([&] { return m_loaded; }, 20000);
        return answer[QStringLiteral("result")][QStringLiteral("result")][QStringLiteral("value")];
    }

    bool screenshot(const QString &path)
    {
        const QJsonObject shot = command(QStringLiteral("Page.captureScreenshot"), {{QStringLiteral("format"), QStringLiteral("png")}});
        QFile file(path);
        return file.open(QIODevice::WriteOnly)
            && file.write(QByteArray::fromBase64(shot[QStringLiteral("result")][QStringLiteral("data")].toString().toLatin1())) > 0;
    }

    template <typename Condition>
    static bool waitUntil(Condition done, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return done();
    }

    // Script exceptions, console errors and resources the page's policy blocked.
    QStringList problems;

private:
    void received(const QString &text)
    {
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        if (message.contains(QStringLiteral("id"))) {
            m_answers.insert(message[QStringLiteral("id")].toInt(), message);
            return;
        }
        const QString method = message[QStringLiteral("method")].toString();
        const QJsonObject params = message[QStringLiteral("params")].toObject();
        if (method == u"Page.loadEventFired")
            m_loaded = true;
        else if (method == u"Runtime.exceptionThrown")
            problems.append(QJsonDocument(params).toJson(QJsonDocument::Compact));
        else if (method == u"Log.entryAdded" && params[QStringLiteral("entry")][QStringLiteral("level")].toString() == u"error")
            problems.append(params[QStringLiteral("entry")][QStringLiteral("text")].toString());
        else if (method == u"Runtime.consoleAPICalled" && params[QStringLiteral("type")].toString() == u"error")
            problems.append(QJsonDocument(params).toJson(QJsonDocument::Compact));
    }

    QTemporaryDir m_profile;
    QProcess m_process;
    QWebSocket m_socket;
    int m_lastId = 0;
    QMap<int, QJsonObject> m_answers;
    bool m_loaded = false;
};

class ServerBoardBrowser : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (testingPostgres())
            GTEST_SKIP() << "the browser test runs on the SQLite file";
        if (Browser::program().isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "Chromium is not installed (tools/install-deps installs it)";
            GTEST_SKIP() << "Chromium is not installed";
        }
        importSample();
    }
};

TEST_F(ServerBoardBrowser, SignsInAndFollowsATransitionWithoutReloading)
{
    const QString code = createGroup(QStringLiteral("Grupo no navegador"));
    QTemporaryDir dir;
    ServerProcess server;
    ASSERT_TRUE(server.start(database().text(), writePrivateFile(dir.filePath(QStringLiteral("token")), kToken)))
        << server.error().toStdString();
    Browser browser;
    QString error;
    ASSERT_TRUE(browser.start(error)) << error.toStdString();

    const QString board = server.url() + QStringLiteral("/painel?intervalo=1");
    ASSERT_TRUE(browser.navigate(board));
    EXPECT_TRUE(browser.evaluate(QStringLiteral("document.getElementById('token') !== null")).toBool());
    EXPECT_EQ(browser.evaluate(QStringLiteral("document.querySelectorAll('[data-grupo]').length")).toInt(), 0);

    browser.evaluate(QStringLiteral("document.getElementById('token').value = '%1'; document.querySelector('form.entrar').submit();")
                         .arg(QString::fromLatin1(kToken)),
                     true);
    ASSERT_TRUE(browser.navigate(board));
    const QString column = QStringLiteral("(document.querySelector('[data-grupo=\"%1\"]') || {closest: () => null}).closest('[data-fase]')"
                                          "?.getAttribute('data-fase')")
                               .arg(code);
    EXPECT_EQ(browser.evaluate(column).toString(), QStringLiteral("001"));

    // The transition is made over the API; the open page finds the card in its new column.
    httplib::Client api("127.0.0.1", server.port());
    const QJsonObject body{{QStringLiteral("args"),
                            QJsonArray{modifyDelta(group(code), 0, {{QStringLiteral("IDSTGRUPHOM"), QStringLiteral("002")}}).toJson()}}};
    const auto moved = api.Post("/VOP42000.rdmGrupSoliHom/setGrupo", {{"Authorization", "Bearer " + kToken.toStdString()}},
                                QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    ASSERT_TRUE(moved);
    ASSERT_NE(moved->body.find("\"ok\":true"), std::string::npos) << moved->body;
    EXPECT_TRUE(Browser::waitUntil([&] { return browser.evaluate(column).toString() == u"002"; }, 8000))
        << "the card did not move to 002 without a reload";

    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots"));
    EXPECT_TRUE(browser.screenshot(QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots/painel.png")));
    ASSERT_TRUE(browser.navigate(server.url() + QStringLiteral("/painel/grupo/") + code));
    EXPECT_TRUE(browser.evaluate(QStringLiteral("document.querySelector('h1').textContent")).toString().contains(code));
    EXPECT_TRUE(browser.problems.isEmpty()) << browser.problems.join(u'\n').toStdString();
}

}  // namespace
