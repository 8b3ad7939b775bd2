#include "tools/import.h"

#include "methods/domain.h"
#include "store/database.h"
#include "store/schema.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace server {

QString ImportCounts::summary() const
{
    return QStringLiteral("%1 operador(es), %2 assunto(s), %3 produto(s), %4 solicitação(ões), %5 arquivo(s) modificado(s), "
                          "%6 arquivo(s) a gerar, %7 item(ns) de trabalho, %8 agrupamento(s), %9 grupo(s)")
        .arg(operators)
        .arg(subjects)
        .arg(products)
        .arg(requests)
        .arg(modifiedFiles)
        .arg(releasedFiles)
        .arg(workItems)
        .arg(groupings)
        .arg(groups);
}

// ---------------------------------------------------------------------------------------
// Finding the line of a value, by walking the text along its path

namespace {

class Walker {
public:
    explicit Walker(const QByteArray &text) : m_text(text) {}

    int line() const { return m_line; }
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }

    void skipBlanks()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\r' || peek() == '\n')) {
            if (peek() == '\n')
                ++m_line;
            ++m_pos;
        }
    }
    bool expect(char c)
    {
        skipBlanks();
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    bool readString(QByteArray *out)
    {
        if (peek() != '"')
            return false;
        ++m_pos;
        while (!atEnd() && peek() != '"') {
            if (peek() == '\\')
                ++m_pos;
            else if (out)
                out->append(peek());
            ++m_pos;
        }
        if (atEnd())
            return false;
        ++m_pos;
        return true;
    }
    bool skipValue(int depth = 0)
    {
        skipBlanks();
        if (depth > 200)
            return false;
        const char c = peek();
        if (c == '"')
            return readString(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++m_pos;
            skipBlanks();
            if (peek() == close) {
                ++m_pos;
                return true;
            }
            while (true) {
                if (c == '{') {
                    skipBlanks();
                    if (!readString(nullptr) || !expect(':'))
                        return false;
                }
                if (!skipValue(depth + 1))
                    return false;
                skipBlanks();
                if (peek() == ',') {
                    ++m_pos;
                    continue;
                }
                return expect(close);
            }
        }
        while (!atEnd() && std::string_view(",}] \t\r\n").find(peek()) == std::string_view::npos)
            ++m_pos;
        return true;
    }
    // Moves to the value of `key` in the object that starts here.
    bool enterKey(const QByteArray &key)
    {
        if (!expect('{'))
            return false;
        while (true) {
            skipBlanks();
            QByteArray name;
            if (!readString(&name) || !expect(':'))
                return false;
            skipBlanks();
            if (name == key)
                return true;
            if (!skipValue())
                return false;
            if (!expect(','))
                return false;
        }
    }
    bool enterIndex(int index)
    {
        if (!expect('['))
            return false;
        for (int i = 0; i < index; ++i) {
            if (!skipValue() || !expect(','))
                return false;
        }
        skipBlanks();
        return true;
    }

private:
    const QByteArray &m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

}  // namespace

int lineOfPath(const QByteArray &json, const QString &path)
{
    static const QRegularExpression step(QStringLiteral("([A-Za-z_][A-Za-z0-9_]*)|\\[(\\d+)\\]"));
    Walker walker(json);
    walker.skipBlanks();
    auto it = step.globalMatch(path);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const bool ok = match.captured(1).isEmpty() ? walker.enterIndex(match.captured(2).toInt())
                                                    : walker.enterKey(match.captured(1).toUtf8());
        if (!ok)
            return 0;
    }
    walker.skipBlanks();
    return walker.line();
}

// ---------------------------------------------------------------------------------------
// Records

namespace {

struct FieldError {
    QString path;
    QString message;
};

struct FieldSpec {
    const char *name;
    int size;
    bool required;
};

class Record {
public:
    Record(const QJsonValue &value, const QString &path, std::initializer_list<FieldSpec> specs,
           std::initializer_list<const char *> lists = {})
        : m_path(path)
    {
        if (!value.isObject())
            throw FieldError{path, QStringLiteral("esperado um objeto")};
        m_object = value.toObject();
        for (auto it = m_object.begin(); it != m_object.end(); ++it) {
            const QByteArray key = it.key().toUtf8();
            const auto spec = std::find_if(specs.begin(), specs.end(), [&](const FieldSpec &s) { return key == s.name; });
            const bool isList = std::any_of(lists.begin(), lists.end(), [&](const char *l) { return key == l; });
            if (isList) {
                if (!it.value().isArray())
                    fail(it.key(), QStringLiteral("esperada uma lista"));
                continue;
            }
            if (spec == specs.end())
                fail(it.key(), QStringLiteral("campo desconhecido"));
            if (!it.value().isString() && !it.value().isNull())
                fail(it.key(), QStringLiteral("esperado um texto"));
            const QString text = it.value().toString();
            if (text.size() > spec->size)
                fail(it.key(), QStringLiteral("texto com %1 caracteres; o máximo é %2").arg(text.size()).arg(spec->size));
            m_values.insert(it.key(), text);
        }
        for (const FieldSpec &spec : specs) {
            if (spec.required && m_values.value(QString::fromLatin1(spec.name)).trimmed().isEmpty())
                fail(QString::fromLatin1(spec.name), QStringLiteral("campo obrigatório ausente ou vazio"));
        }
    }

    QString operator[](const char *name) const { return m_values.value(QString::fromLatin1(name)); }
    bool has(const char *name) const { return m_object.contains(QString::fromLatin1(name)); }
    QJsonArray list(const char *name) const { return m_object.value(QString::fromLatin1(name)).toArray(); }
    QString path(const char *name) const { return m_path + u'.' + QString::fromLatin1(name); }
    QString path() const { return m_path; }

    [[noreturn]] void fail(const QString &field, const QString &message) const
    {
        throw FieldError{m_path + u'.' + field, message};
    }
    void requireOneOf(const char *field, const QStringList &allowed) const
    {
        if (!(*this)[field].isEmpty() && !allowed.contains((*this)[field]))
            fail(QString::fromLatin1(field), QStringLiteral("valor \"%1\" inválido (aceitos: %2)").arg((*this)[field], allowed.join(u", ")));
    }
    void requireDigits(const char *field, int minSize = 0) const
    {
        const QString value = (*this)[field];
        if (value.isEmpty() && minSize == 0)
            return;
        if (value.size() < minSize || !std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); }))
            fail(QString::fromLatin1(field), QStringLiteral("valor \"%1\" inválido (esperados dígitos)").arg(value));
    }
    void requireDateTime(const char *field) const
    {
        const QString value = (*this)[field];
        if (!value.isEmpty() && !QDateTime::fromString(value, QStringLiteral("yyyy-MM-ddTHH:mm:ss")).isValid())
            fail(QString::fromLatin1(field), QStringLiteral("data e hora \"%1\" inválida (formato aaaa-mm-ddThh:mm:ss)").arg(value));
    }
    // Request numbers are kept zero-filled to ten digits, the way the screen types them.
    QString requestNumber(const char *field = "NRSOLISERV") const
    {
        const QString value = (*this)[field].trimmed();
        if (std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); }))
            return value.rightJustified(10, u'0');
        return value;
    }

private:
    QString m_path;
    QJsonObject m_object;
    QHash<QString, QString> m_values;
};

QString indexed(const QString &path, int i) { return QStringLiteral("%1[%2]").arg(path).arg(i); }

QStringList knownPhases()
{
    return {phase::Desenvolvimento, phase::Disponivel,     phase::EmHomologacao,       phase::EmGeracao,
            phase::PatchGerado,     phase::EmTeste,        phase::TestadaComErro,      phase::TestadaSemErro,
            phase::AguardandoRegeracao, phase::Homologada};
}

QString fileKind(const Record &file, const QString &productTree)
{
    const QString kind = file["kind"];
    if (kind == u"compiled")
        return QStringLiteral("C");
    if (kind == u"web")
        return QStringLiteral("W");
    if (kind == u"form")
        return QStringLiteral("F");
    if (!kind.isEmpty())
        file.fail(QStringLiteral("kind"), QStringLiteral("valor \"%1\" inválido (aceitos: compiled, web, form)").arg(kind));
    const QString tree = productTree.toUpper();
    if (tree.contains(u"P5") || tree.contains(u"P6"))
        return QStringLiteral("C");
    if (tree.contains(u"P15"))
        return QStringLiteral("W");
    return QStringLiteral("F");
}

class Importer {
public:
    Importer(Database &db) : m_db(db) {}

    ImportCounts run(const QJsonObject &document)
    {
        static const QStringList sections{QStringLiteral("operators"), QStringLiteral("subjects"), QStringLiteral("products"),
                                          QStringLiteral("requests"), QStringLiteral("groupings"), QStringLiteral("groups")};
        for (auto it = document.begin(); it != document.end(); ++it) {
            if (!sections.contains(it.key()))
                throw FieldError{it.key(), QStringLiteral("seção desconhecida (aceitas: %1)").arg(sections.join(u", "))};
            if (!it.value().isArray())
                throw FieldError{it.key(), QStringLiteral("esperada uma lista")};
        }
        forEach(document, "operators", &Importer::importOperator);
        forEach(document, "subjects", &Importer::importSubject);
        forEach(document, "products", &Importer::importProduct);
        forEach(document, "requests", &Importer::importRequest);
        forEach(document, "requests", &Importer::importDependencies);
        forEach(document, "groupings", &Importer::importGrouping);
        forEach(document, "groups", &Importer::importGroup);
        return m_counts;
    }

private:
    void forEach(const QJsonObject &document, const char *section, void (Importer::*import)(const QJsonValue &, const QString &))
    {
        const QJsonArray entries = document.value(QString::fromLatin1(section)).toArray();
        for (int i = 0; i < entries.size(); ++i)
            (this->*import)(entries[i], indexed(QString::fromLatin1(section), i));
    }

    void importOperator(const QJsonValue &value, const QString &path)
    {
        const Record r(value, path, {{"CDOPERADOR", 12, true}, {"NMOPERADOR", 40, false}, {"IDEDITAGRUPO", 1, false}});
        r.requireOneOf("IDEDITAGRUPO", {QStringLiteral("S"), QStringLiteral("N")});
        m_db.exec(QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDEDITAGRUPO) VALUES (?, ?, ?) ON CONFLICT "
                                 "(CDOPERADOR) DO UPDATE SET NMOPERADOR = EXCLUDED.NMOPERADOR, IDEDITAGRUPO = EXCLUDED.IDEDITAGRUPO"),
                  {r["CDOPERADOR"], r["NMOPERADOR"], r["IDEDITAGRUPO"].isEmpty() ? QStringLiteral("N") : r["IDEDITAGRUPO"]});
        ++m_counts.operators;
    }

    void importSubject(const QJsonValue &value, const QString &path)
    {
        const Record r(value, path, {{"CDASSUNTO", 5, true}, {"DSASSUNTO", 60, false}});
        m_db.exec(QStringLiteral("INSERT INTO ASSUNTO (CDASSUNTO, DSASSUNTO) VALUES (?, ?) ON CONFLICT (CDASSUNTO) "
                                 "DO UPDATE SET DSASSUNTO = EXCLUDED.DSASSUNTO"),
                  {r["CDASSUNTO"], r["DSASSUNTO"]});
        ++m_counts.subjects;
    }

    void importProduct(const QJsonValue &value, const QString &path)
    {
        const Record r(value, path,
                       {{"CDPRODUTO", 10, true}, {"CDARVPROD", 20, true}, {"NMPRODUTO", 50, false}, {"CDFILIAL", 4, false},
                        {"IDGERRELEASEMETA", 1, false}, {"DSDIRBASEVER", 250, false}, {"release", 6, false}},
                       {"locations"});
        r.requireOneOf("IDGERRELEASEMETA", {QStringLiteral("S"), QStringLiteral("N")});
        const QJsonArray locations = r.list("locations");
        if (locations.size() > 6)
            r.fail(QStringLiteral("locations"), QStringLiteral("no máximo 6 locais"));
        QStringList texts;
        for (int i = 0; i < 6; ++i) {
            const QJsonValue location = locations.at(i);
            if (i < locations.size() && !location.isString())
                throw FieldError{indexed(r.path("locations"), i), QStringLiteral("esperado um texto")};
            if (location.toString().size() > 250)
                throw FieldError{indexed(r.path("locations"), i), QStringLiteral("texto com mais de 250 caracteres")};
            texts.append(location.toString());
        }
        const QString release = r["release"];
        if (!release.isEmpty())
            r.requireDigits("release", 6);
        m_db.exec(QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, CDARVPROD, NMPRODUTO, CDFILIAL, IDGERRELEASEMETA, DSURLDESENV, "
                                 "DSDIRDESENV, DSURLHOMOL, DSDIRHOMOL, DSDIRPREHOMOL, DSDIRHOMOLOGADOS, DSDIRBASEVER) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (CDPRODUTO) DO UPDATE SET "
                                 "CDARVPROD = EXCLUDED.CDARVPROD, NMPRODUTO = EXCLUDED.NMPRODUTO, CDFILIAL = EXCLUDED.CDFILIAL, "
                                 "IDGERRELEASEMETA = EXCLUDED.IDGERRELEASEMETA, DSURLDESENV = EXCLUDED.DSURLDESENV, "
                                 "DSDIRDESENV = EXCLUDED.DSDIRDESENV, DSURLHOMOL = EXCLUDED.DSURLHOMOL, "
                                 "DSDIRHOMOL = EXCLUDED.DSDIRHOMOL, DSDIRPREHOMOL = EXCLUDED.DSDIRPREHOMOL, "
                                 "DSDIRHOMOLOGADOS = EXCLUDED.DSDIRHOMOLOGADOS, DSDIRBASEVER = EXCLUDED.DSDIRBASEVER"),
                  {r["CDPRODUTO"], r["CDARVPROD"], r["NMPRODUTO"], r["CDFILIAL"],
                   r["IDGERRELEASEMETA"].isEmpty() ? QStringLiteral("N") : r["IDGERRELEASEMETA"], texts[0], texts[1],
                   texts[2], texts[3], texts[4], texts[5], r["DSDIRBASEVER"]});
        if (!release.isEmpty()) {
            const QString version = release.left(1), rel = release.mid(1, 2), patch = release.mid(3, 3), now = nowText();
            m_db.exec(QStringLiteral("INSERT INTO PRODVERSAO (CDPRODUTO, CDVERPRODUTO, DTREGISTRO) VALUES (?, ?, ?) "
                                     "ON CONFLICT (CDPRODUTO, CDVERPRODUTO) DO NOTHING"),
                      {r["CDPRODUTO"], version, now});
            m_db.exec(QStringLiteral("INSERT INTO PRODRELEASE (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, DTREGISTRO) VALUES (?, ?, ?, ?) "
                                     "ON CONFLICT (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD) DO NOTHING"),
                      {r["CDPRODUTO"], version, rel, now});
            m_db.exec(QStringLiteral("INSERT INTO PRODPATCH (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR, DTREGISTRO) "
                                     "VALUES (?, ?, ?, ?, ?) ON CONFLICT (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR) DO NOTHING"),
                      {r["CDPRODUTO"], version, rel, patch, now});
        }
        m_productTrees.insert(r["CDPRODUTO"], r["CDARVPROD"]);
        ++m_counts.products;
    }

    QString productTree(const Record &r, const char *field)
    {
        const QString code = r[field];
        if (!m_productTrees.contains(code)) {
            const auto product = findProduct(m_db, code);
            if (!product)
                r.fail(QString::fromLatin1(field), QStringLiteral("o produto \"%1\" não está cadastrado").arg(code));
            m_productTrees.insert(code, product->tree);
        }
        return m_productTrees.value(code);
    }

    bool operatorExists(const QString &code)
    {
        if (!m_operators.contains(code)) {
            if (!m_db.scalar(QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"), {code}).isValid())
                return false;
            m_operators.insert(code);
        }
        return true;
    }

    void importRequest(const QJsonValue &value, const QString &path)
    {
        const Record r(value, path,
                       {{"CDFILIAL", 4, true}, {"NRSOLISERV", 10, true}, {"DSREFESOLI", 60, false}, {"TXOBSOLIGER", 250, false},
                        {"CDFASETRAM", 3, false}, {"CDOPERRESP", 12, false}, {"CDASSUNTO", 5, false},
                        {"CDPRODUTO", 10, true}, {"CDRELEASESOLI", 10, false}, {"MODELAGEM", 3, false},
                        {"IDMODELHOMOL", 1, false}, {"DTALFASETRAM", 19, false}},
                       {"modifiedFiles", "releasedFiles", "workItems", "dependsOn"});
        const QString tree = productTree(r, "CDPRODUTO");
        r.requireOneOf("CDFASETRAM", knownPhases());
        r.requireOneOf("IDMODELHOMOL", {QStringLiteral("S"), QStringLiteral("N")});
        r.requireDigits("CDRELEASESOLI");
        if (!r["CDRELEASESOLI"].isEmpty() && r["CDRELEASESOLI"].size() != 6)
            r.fail(QStringLiteral("CDRELEASESOLI"), QStringLiteral("esperados 6 dígitos VRRPPP"));
        r.requireDateTime("DTALFASETRAM");
        if (!r["CDOPERRESP"].isEmpty() && !operatorExists(r["CDOPERRESP"]))
            r.fail(QStringLiteral("CDOPERRESP"), QStringLiteral("o operador \"%1\" não está cadastrado").arg(r["CDOPERRESP"]));
        const QString filial = r["CDFILIAL"], numero = r.requestNumber();
        m_db.exec(QStringLiteral("INSERT INTO SOLICITACAO (CDFILIAL, NRSOLISERV, DSREFESOLI, TXOBSOLIGER, CDFASETRAM, CDOPERRESP, "
                                 "CDASSUNTO, CDPRODUTO, CDRELEASESOLI, MODELAGEM, IDMODELHOMOL, DTALFASETRAM) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (CDFILIAL, NRSOLISERV) DO UPDATE SET "
                                 "DSREFESOLI = EXCLUDED.DSREFESOLI, TXOBSOLIGER = EXCLUDED.TXOBSOLIGER, "
                                 "CDFASETRAM = EXCLUDED.CDFASETRAM, CDOPERRESP = EXCLUDED.CDOPERRESP, "
                                 "CDASSUNTO = EXCLUDED.CDASSUNTO, CDPRODUTO = EXCLUDED.CDPRODUTO, "
                                 "CDRELEASESOLI = EXCLUDED.CDRELEASESOLI, MODELAGEM = EXCLUDED.MODELAGEM, "
                                 "IDMODELHOMOL = EXCLUDED.IDMODELHOMOL, DTALFASETRAM = EXCLUDED.DTALFASETRAM"),
                  {filial, numero, r["DSREFESOLI"], r["TXOBSOLIGER"],
                   r["CDFASETRAM"].isEmpty() ? phase::Disponivel : r["CDFASETRAM"], r["CDOPERRESP"], r["CDASSUNTO"],
                   r["CDPRODUTO"], r["CDRELEASESOLI"], r["MODELAGEM"],
                   r["IDMODELHOMOL"].isEmpty() ? QStringLiteral("S") : r["IDMODELHOMOL"],
                   r["DTALFASETRAM"].isEmpty() ? nowText() : r["DTALFASETRAM"]});
        const QVariantList key{filial, numero};
        if (r.has("modifiedFiles")) {
            m_db.exec(QStringLiteral("DELETE FROM ARQMODIF WHERE CDFILIAL = ? AND NRSOLISERV = ?"), key);
            const QJsonArray files = r.list("modifiedFiles");
            QSet<QString> seen;
            for (int i = 0; i < files.size(); ++i)
                importModifiedFile(files[i], indexed(r.path("modifiedFiles"), i), filial, numero, seen);
        }
        if (r.has("releasedFiles")) {
            m_db.exec(QStringLiteral("DELETE FROM ARQPATCH WHERE CDFILIAL = ? AND NRSOLISERV = ?"), key);
            const QJsonArray files = r.list("releasedFiles");
            QSet<QString> seen;
            for (int i = 0; i < files.size(); ++i)
                importReleasedFile(files[i], indexed(r.path("releasedFiles"), i), filial, numero, tree, seen);
        }
        if (r.has("workItems")) {
            m_db.exec(QStringLiteral("DELETE FROM ITEMTRABSOLI WHERE CDFILIAL = ? AND NRSOLISERV = ?"), key);
            const QJsonArray items = r.list("workItems");
            for (int i = 0; i < items.size(); ++i)
                importWorkItem(items[i], indexed(r.path("workItems"), i), filial, numero);
        }
        ++m_counts.requests;
    }

    // The path key of a request's file, refused when the request lists that file twice.
    static QString fileKeyOnce(const Record &file, const char *field, QSet<QString> &seen)
    {
        const QString key = pathKey(file[field]);
        if (seen.contains(key))
            file.fail(QString::fromLatin1(field), QStringLiteral("arquivo repetido na solicitação"));
        seen.insert(key);
        return key;
    }

    void importModifiedFile(const QJsonValue &value, const QString &path, const QString &filial, const QString &numero,
                            QSet<QString> &seen)
    {
        const Record f(value, path,
                       {{"DSDIRARQCHECKOU", 250, true}, {"CDRELEASEARQANT", 10, false}, {"CDRELEASEARQATU", 10, false},
                        {"NRTAREFA", 10, false}, {"NRPLATIVTARE", 5, false}});
        f.requireDigits("CDRELEASEARQANT");
        f.requireDigits("CDRELEASEARQATU");
        const QString key = fileKeyOnce(f, "DSDIRARQCHECKOU", seen);
        m_db.exec(QStringLiteral("INSERT INTO ARQMODIF (CDFILIAL, NRSOLISERV, DSDIRARQCHECKOU, DSARQCHAVE, CDRELEASEARQANT, "
                                 "CDRELEASEARQATU, NRTAREFA, NRPLATIVTARE) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                  {filial, numero, f["DSDIRARQCHECKOU"], key, f["CDRELEASEARQANT"], f["CDRELEASEARQATU"], f["NRTAREFA"],
                   f["NRPLATIVTARE"]});
        ++m_counts.modifiedFiles;
    }

    void importReleasedFile(const QJsonValue &value, const QString &path, const QString &filial, const QString &numero,
                            const QString &tree, QSet<QString> &seen)
    {
        const Record f(value, path,
                       {{"DSARQPATCH", 250, true}, {"CDVERPRODUTO", 10, false}, {"CDRELVERPROD", 10, false},
                        {"CDPATCHVERPR", 10, false}, {"NRSEQPATCH", 3, false}, {"IDARQESPECLIE", 1, false},
                        {"DSDIRDESTARQ", 250, false}, {"DSDIRDSTARQESPCLI", 250, false}, {"kind", 8, false},
                        {"CDRELEASEMETA", 20, false}, {"CDTIPOITTRAB", 2, false}, {"NRTAREFA", 10, false},
                        {"NRPLATIVTARE", 5, false}});
        f.requireOneOf("IDARQESPECLIE", {QStringLiteral("S"), QStringLiteral("N")});
        f.requireDigits("NRSEQPATCH");
        const QString key = fileKeyOnce(f, "DSARQPATCH", seen);
        m_db.exec(QStringLiteral("INSERT INTO ARQPATCH (CDFILIAL, NRSOLISERV, DSARQPATCH, DSARQCHAVE, CDVERPRODUTO, CDRELVERPROD, "
                                 "CDPATCHVERPR, NRSEQPATCH, IDARQESPECLIE, DSDIRDESTARQ, DSDIRDSTARQESPCLI, IDTIPOARQ, "
                                 "CDRELEASEMETA, CDTIPOITTRAB, NRTAREFA, NRPLATIVTARE) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  {filial, numero, f["DSARQPATCH"], key, f["CDVERPRODUTO"], f["CDRELVERPROD"], f["CDPATCHVERPR"],
                   f["NRSEQPATCH"], f["IDARQESPECLIE"].isEmpty() ? QStringLiteral("N") : f["IDARQESPECLIE"],
                   f["DSDIRDESTARQ"], f["DSDIRDSTARQESPCLI"], fileKind(f, tree), f["CDRELEASEMETA"], f["CDTIPOITTRAB"],
                   f["NRTAREFA"], f["NRPLATIVTARE"]});
        ++m_counts.releasedFiles;
    }

    void importWorkItem(const QJsonValue &value, const QString &path, const QString &filial, const QString &numero)
    {
        const Record w(value, path, {{"NRTAREFA", 10, true}, {"NRPLATIVTARE", 5, true}, {"DSDIRATIV", 250, false}});
        if (w.has("DSDIRATIV"))
            m_db.exec(QStringLiteral("INSERT INTO ATIVIDADE (NRTAREFA, NRPLATIVTARE, DSDIRATIV) VALUES (?, ?, ?) "
                                     "ON CONFLICT (NRTAREFA, NRPLATIVTARE) DO UPDATE SET DSDIRATIV = EXCLUDED.DSDIRATIV"),
                      {w["NRTAREFA"], w["NRPLATIVTARE"], w["DSDIRATIV"]});
        else
            m_db.exec(QStringLiteral("INSERT INTO ATIVIDADE (NRTAREFA, NRPLATIVTARE, DSDIRATIV) VALUES (?, ?, '') "
                                     "ON CONFLICT (NRTAREFA, NRPLATIVTARE) DO NOTHING"),
                      {w["NRTAREFA"], w["NRPLATIVTARE"]});
        m_db.exec(QStringLiteral("INSERT INTO ITEMTRABSOLI (CDFILIAL, NRSOLISERV, NRTAREFA, NRPLATIVTARE) VALUES (?, ?, ?, ?) "
                                 "ON CONFLICT (CDFILIAL, NRSOLISERV, NRTAREFA, NRPLATIVTARE) DO NOTHING"),
                  {filial, numero, w["NRTAREFA"], w["NRPLATIVTARE"]});
        ++m_counts.workItems;
    }

    RequestRow existingRequest(const Record &r)
    {
        const RequestKey key{r["CDFILIAL"], r.requestNumber()};
        const auto request = findRequest(m_db, key);
        if (!request)
            r.fail(QStringLiteral("NRSOLISERV"), QStringLiteral("a solicitação %1/%2 não está cadastrada").arg(key.filial, key.numero));
        return *request;
    }

    void importDependencies(const QJsonValue &value, const QString &path)
    {
        const QJsonObject request = value.toObject();
        if (!request.contains(QStringLiteral("dependsOn")))
            return;
        const QString filial = request.value(QStringLiteral("CDFILIAL")).toString();
        const Record self(QJsonObject{{QStringLiteral("NRSOLISERV"), request.value(QStringLiteral("NRSOLISERV"))}}, path,
                          {{"NRSOLISERV", 10, true}});
        const QString numero = self.requestNumber();
        m_db.exec(QStringLiteral("DELETE FROM DEPSOLI WHERE CDFILIAL = ? AND NRSOLISERV = ?"), {filial, numero});
        const QJsonArray dependencies = request.value(QStringLiteral("dependsOn")).toArray();
        for (int i = 0; i < dependencies.size(); ++i) {
            const Record d(dependencies[i], indexed(path + QStringLiteral(".dependsOn"), i),
                           {{"CDFILIAL", 4, true}, {"NRSOLISERV", 10, true}});
            const RequestRow dependency = existingRequest(d);
            if (dependency.key == RequestKey{filial, numero})
                d.fail(QStringLiteral("NRSOLISERV"), QStringLiteral("uma solicitação não depende de si mesma"));
            m_db.exec(QStringLiteral("INSERT INTO DEPSOLI (CDFILIAL, NRSOLISERV, CDFILIALDEP, NRSOLISERVDEP) VALUES (?, ?, ?, ?) "
                                     "ON CONFLICT (CDFILIAL, NRSOLISERV, CDFILIALDEP, NRSOLISERVDEP) DO NOTHING"),
                      {filial, numero, dependency.key.filial, dependency.key.numero});
        }
    }

    void importGrouping(const QJsonValue &value, const QString &path)
    {
        const Record g(value, path, {{"NRSEQAGRUPASOLI", 10, true}}, {"members"});
        m_db.exec(QStringLiteral("DELETE FROM AGRUPASOLI WHERE NRSEQAGRUPASOLI = ?"), {g["NRSEQAGRUPASOLI"]});
        const QJsonArray members = g.list("members");
        for (int i = 0; i < members.size(); ++i) {
            const Record m(members[i], indexed(g.path("members"), i), {{"CDFILIAL", 4, true}, {"NRSOLISERV", 10, true}});
            const RequestRow request = existingRequest(m);
            m_db.exec(QStringLiteral("INSERT INTO AGRUPASOLI (NRSEQAGRUPASOLI, CDFILIAL, NRSOLISERV) VALUES (?, ?, ?) "
                                     "ON CONFLICT (NRSEQAGRUPASOLI, CDFILIAL, NRSOLISERV) DO NOTHING"),
                      {g["NRSEQAGRUPASOLI"], request.key.filial, request.key.numero});
        }
        ++m_counts.groupings;
    }

    void importGroup(const QJsonValue &value, const QString &path)
    {
        const Record g(value, path,
                       {{"CDGRUPHOMOL", 10, true}, {"DSGRUPHOMOL", 50, true}, {"CDPRODUTO", 10, true},
                        {"CDRELEASEGHOM", 10, false}, {"IDSTGRUPHOM", 3, false}, {"DTCRIAGRHOM", 19, false},
                        {"DTHRGERAGRUPSOL", 19, false}, {"DTHRHOMOGRUPSOL", 19, false}},
                       {"requests"});
        g.requireDigits("CDGRUPHOMOL", 10);
        productTree(g, "CDPRODUTO");
        g.requireOneOf("IDSTGRUPHOM", {QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003"), QStringLiteral("004"),
                                       QStringLiteral("005"), QStringLiteral("006"), QStringLiteral("007")});
        g.requireDigits("CDRELEASEGHOM");
        if (!g["CDRELEASEGHOM"].isEmpty() && g["CDRELEASEGHOM"].size() != 6)
            g.fail(QStringLiteral("CDRELEASEGHOM"), QStringLiteral("esperados 6 dígitos VRRPPP"));
        for (const char *field : {"DTCRIAGRHOM", "DTHRGERAGRUPSOL", "DTHRHOMOGRUPSOL"})
            g.requireDateTime(field);
        const QString code = g["CDGRUPHOMOL"];
        const QString phaseCode = g["IDSTGRUPHOM"].isEmpty() ? QStringLiteral("001") : g["IDSTGRUPHOM"];
        const QString now = nowText();
        auto orNull = [](const QString &text) { return text.isEmpty() ? QVariant() : QVariant(text); };
        m_db.exec(QStringLiteral("INSERT INTO GRUPOHOMOL (CDGRUPHOMOL, DSGRUPHOMOL, CDPRODUTO, CDRELEASEGHOM, IDSTGRUPHOM, "
                                 "DTCRIAGRHOM, DTULTATUGHOM, DTHRGERAGRUPSOL, DTHRHOMOGRUPSOL) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                                 "ON CONFLICT (CDGRUPHOMOL) DO UPDATE SET DSGRUPHOMOL = EXCLUDED.DSGRUPHOMOL, "
                                 "CDPRODUTO = EXCLUDED.CDPRODUTO, CDRELEASEGHOM = EXCLUDED.CDRELEASEGHOM, "
                                 "IDSTGRUPHOM = EXCLUDED.IDSTGRUPHOM, DTCRIAGRHOM = EXCLUDED.DTCRIAGRHOM, "
                                 "DTULTATUGHOM = EXCLUDED.DTULTATUGHOM, DTHRGERAGRUPSOL = EXCLUDED.DTHRGERAGRUPSOL, "
                                 "DTHRHOMOGRUPSOL = EXCLUDED.DTHRHOMOGRUPSOL"),
                  {code, g["DSGRUPHOMOL"], g["CDPRODUTO"], g["CDRELEASEGHOM"], phaseCode,
                   g["DTCRIAGRHOM"].isEmpty() ? now : g["DTCRIAGRHOM"], now, orNull(g["DTHRGERAGRUPSOL"]),
                   orNull(g["DTHRHOMOGRUPSOL"])});
        m_db.exec(QStringLiteral("DELETE FROM SOLIGRUPO WHERE CDGRUPHOMOL = ?"), {code});
        const QJsonArray requests = g.list("requests");
        for (int i = 0; i < requests.size(); ++i) {
            const Record m(requests[i], indexed(g.path("requests"), i),
                           {{"CDFILIAL", 4, true}, {"NRSOLISERV", 10, true}, {"NRPRIOSOLI", 3, false}, {"IDHOMOLSOL", 1, false},
                            {"IDRETSOLERROPRO", 1, false}, {"IDENCSOLPATCREG", 1, false}});
            for (const char *flag : {"IDHOMOLSOL", "IDRETSOLERROPRO", "IDENCSOLPATCREG"})
                m.requireOneOf(flag, {QStringLiteral("S"), QStringLiteral("N")});
            const RequestRow request = existingRequest(m);
            if (request.product != g["CDPRODUTO"])
                m.fail(QStringLiteral("NRSOLISERV"),
                       QStringLiteral("a solicitação é do produto %1, não do produto do grupo").arg(request.product));
            if (phaseCode != u"007") {
                const QString other = openGroupOf(m_db, request.key);
                if (!other.isEmpty())
                    m.fail(QStringLiteral("NRSOLISERV"), QStringLiteral("a solicitação já está no grupo em andamento %1").arg(other));
            }
            auto flag = [&](const char *name) { return m[name].isEmpty() ? QStringLiteral("N") : m[name]; };
            m_db.exec(QStringLiteral("INSERT INTO SOLIGRUPO (CDGRUPHOMOL, CDFILIAL, NRSOLISERV, IDSTSOLIGRUP, NRPRIOSOLI, IDHOMOLSOL, "
                                     "IDRETSOLERROPRO, IDENCSOLPATCREG, CDFASEANTERIOR) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                      {code, request.key.filial, request.key.numero, phase::groupStatus(request.phase), m["NRPRIOSOLI"],
                       flag("IDHOMOLSOL"), flag("IDRETSOLERROPRO"), flag("IDENCSOLPATCREG"), phase::Disponivel});
        }
        ++m_counts.groups;
    }

    Database &m_db;
    ImportCounts m_counts;
    QHash<QString, QString> m_productTrees;
    QSet<QString> m_operators;
};

}  // namespace

namespace {

// The line of the value at `path`; for a field the record lacks (a required one left out),
// the line of the closest record that holds it.
int lineOfNearest(const QByteArray &json, QString path)
{
    static const QRegularExpression lastStep(QStringLiteral("(\\.[A-Za-z_][A-Za-z0-9_]*|\\[\\d+\\])$"));
    while (!path.isEmpty()) {
        if (const int line = lineOfPath(json, path); line > 0)
            return line;
        const QRegularExpressionMatch match = lastStep.match(path);
        if (!match.hasMatch())
            break;
        path.chop(match.capturedLength());
    }
    return 1;
}

}  // namespace

ImportCounts importDocument(Database &db, const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const int line = int(json.left(parseError.offset).count('\n')) + 1;
        throw ImportError(QStringLiteral("linha %1: JSON inválido: %2").arg(line).arg(parseError.errorString()));
    }
    if (!document.isObject())
        throw ImportError(QStringLiteral("linha 1: o documento deve ser um objeto com as seções operators, subjects, products, "
                                         "requests, groupings e groups"));
    try {
        db.ensureOpen();
        Transaction transaction(db, true);
        const ImportCounts counts = Importer(db).run(document.object());
        transaction.commit();
        // PostgreSQL plans the per-group reads from its statistics, which a large import
        // leaves stale until autovacuum comes round; they are gathered now. The import is
        // committed already: statistics that cannot be gathered do not make it a failure.
        if (db.isPostgres()) {
            try {
                db.exec(QStringLiteral("ANALYZE PRODUTO, SOLICITACAO, GRUPOHOMOL, SOLIGRUPO, ARQMODIF, ARQPATCH, AGRUPASOLI, ITEMTRABSOLI"));
            } catch (const ServerError &) {
            }
        }
        return counts;
    } catch (const FieldError &error) {
        throw ImportError(QStringLiteral("linha %1, campo %2: %3").arg(lineOfNearest(json, error.path)).arg(error.path, error.message));
    } catch (const ServerError &error) {
        throw ImportError(error.message());
    }
}

}  // namespace server
