#pragma once

// A fresh server database for each test, on SQLite, or on PostgreSQL when the suite runs
// with HOMOLOGA_SERVER_ENGINE=postgres (connection text in HOMOLOGA_TEST_PG, each test in a
// schema of its own), loaded through the import; calls go through the dispatcher.

#include "methods/datasets.h"
#include "methods/dispatcher.h"
#include "store/database.h"

#include "host/packet.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

inline const QString kMain = QStringLiteral("VOP42000.rdmGrupSoliHom");
inline const QString kPatch = QStringLiteral("VOP03409.rdmGPatch");
inline const QString kHostDb = QStringLiteral("Dbgeral");
inline const QString kBranch = QStringLiteral("0001");
inline const QString kProduct = QStringLiteral("0000000001");

// Products P501 (compiled, release 501023), P1501 (web) and F301 (form settings); requests
// 0001/0000000101 ... 0000000106 of P501, 201 of P1501, 301 of F301; operators 0001 (may
// edit groups), 0002, DEV1; subjects 00010 and 00020. See serverenv.cpp.
extern const QByteArray kSampleDocument;

bool testingPostgres();

class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    const QString &text() const { return m_text; }
    // Another connection to the same data (a second operator, an administration command).
    std::unique_ptr<server::Database> connect() const;

private:
    QTemporaryDir m_dir;
    QString m_text;
    QString m_schema;
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    server::Database &db() { return *m_db; }
    const TestDatabase &database() const { return *m_database; }

    QJsonObject answer(const QString &method, const QJsonArray &args, const QString &module = kMain);
    QJsonObject answer(server::Dispatcher &dispatcher, const QString &method, const QJsonArray &args,
                       const QString &module = kMain);
    // The data of a call that must succeed / the error of a call that must fail.
    QJsonValue ok(const QString &method, const QJsonArray &args = {}, const QString &module = kMain);
    QString refused(const QString &method, const QJsonArray &args = {}, const QString &module = kMain);

    void importSample();
    // Creates a group of the product through setGrupo and answers its code.
    QString createGroup(const QString &name, const QString &product = kProduct);
    void addRequests(const QString &group, const QStringList &numbers);
    packet::Packet group(const QString &code);
    // Moves a group one phase on through setGrupo, as the phase machine does.
    void advance(const QString &code, const QMap<QString, QVariant> &alsoChange = {});

    std::unique_ptr<server::Dispatcher> m_dispatcher;

private:
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<server::Database> m_db;
};

// A server test on the sample document's data.
class SampleServerTest : public ServerTest {
protected:
    void SetUp() override;
    // Set up and not skipped: the test's own setting up may go on.
    bool ready() const { return !IsSkipped() && !HasFatalFailure(); }
};

packet::Packet packetOf(const QJsonValue &json);
QStringList column(const packet::Packet &packet, const QString &field);
QStringList column(const QJsonValue &json, const QString &field);
QString valueAt(const packet::Packet &packet, int row, const QString &field);
int rowWhere(const packet::Packet &packet, const QString &field, const QString &value);

// Deltas as the screen's datasets make them.
packet::Delta insertDelta(const server::DatasetDef &def, const QMap<QString, QVariant> &values);
packet::Delta modifyDelta(const packet::Packet &rows, int row, const QMap<QString, QVariant> &changes);
packet::Delta deleteDelta(const packet::Packet &rows, int row);
QJsonArray args(std::initializer_list<QJsonValue> values);
// The arguments of a setSoli that puts request `numero` of the branch into `group`.
QJsonArray insertInto(const QString &group, const QString &numero);

// Texts in test failures as text.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
