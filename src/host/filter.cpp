#include "filter.h"

#include "host/dataset.h"
#include "host/errors.h"

#include <QDateTime>
#include <QRegularExpression>

#include <vector>

namespace dsfilter {

namespace {

using packet::FieldType;
using packet::Row;

// ---------------------------------------------------------------- values

struct Val {
    enum Kind { Null, Text, Number, Date } kind = Null;
    const QString *text = nullptr;  // points into the row, a literal, or `owned`
    QString owned;
    double number = 0;
    QDateTime date;

    void setOwned(QString value)
    {
        owned = std::move(value);
        text = &owned;
        kind = Text;
    }
};

const QString &emptyText()
{
    static const QString empty;
    return empty;
}

const QString &textOf(const Val &value) { return value.text ? *value.text : emptyText(); }

QDateTime parseDate(const QString &text)
{
    static const char *const formats[] = {"dd/MM/yyyy HH:mm:ss", "dd/MM/yyyy HH:mm", "dd/MM/yyyy",
                                          "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd"};
    for (const char *format : formats) {
        const QDateTime time = QDateTime::fromString(text.trimmed(), QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return {};
}

// Three-way comparison of two values as the filter language defines it.
int compareValues(const Val &a, const Val &b, Qt::CaseSensitivity cs)
{
    const bool aNumber = a.kind == Val::Number, bNumber = b.kind == Val::Number;
    if (aNumber && bNumber)
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    if (aNumber || bNumber) {
        const Val &numberSide = aNumber ? a : b;
        const Val &otherSide = aNumber ? b : a;
        bool ok = false;
        const double other = otherSide.kind == Val::Date ? 0 : textOf(otherSide).trimmed().toDouble(&ok);
        int result;
        if (ok)
            result = numberSide.number < other ? -1 : (numberSide.number > other ? 1 : 0);
        else
            result = QString::number(numberSide.number, 'g', 15).compare(
                otherSide.kind == Val::Date ? otherSide.date.toString(Qt::ISODate) : textOf(otherSide), cs);
        return aNumber ? result : -result;
    }
    if (a.kind == Val::Date || b.kind == Val::Date) {
        const QDateTime left = a.kind == Val::Date ? a.date : parseDate(textOf(a));
        const QDateTime right = b.kind == Val::Date ? b.date : parseDate(textOf(b));
        if (left.isValid() && right.isValid())
            return left < right ? -1 : (left > right ? 1 : 0);
        if (!left.isValid() && !right.isValid())
            return 0;
        return left.isValid() ? 1 : -1;
    }
    return textOf(a).compare(textOf(b), cs);
}

// ---------------------------------------------------------------- operands

class Operand {
public:
    virtual ~Operand() = default;
    virtual void eval(const Row &row, Val &out) const = 0;
    virtual bool isLiteral() const { return false; }
};

void fieldValue(const QVariant &value, Val &out)
{
    if (dsvalue::isNull(value)) {
        out.kind = Val::Null;
        out.text = nullptr;
        return;
    }
    if (const QString *text = dsvalue::text(value)) {
        out.kind = Val::Text;
        out.text = text;
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        out.kind = Val::Date;
        out.date = value.toDateTime();
        return;
    case QMetaType::QByteArray: out.setOwned(QString::fromUtf8(value.toByteArray())); return;
    default: out.setOwned(value.toString());
    }
}

class FieldOperand : public Operand {
public:
    FieldOperand(int index, FieldType type) : m_index(index), m_type(type) {}
    void eval(const Row &row, Val &out) const override
    {
        if (m_index < row.size())
            fieldValue(row.at(m_index), out);
        else
            out.kind = Val::Null;
    }
    int index() const { return m_index; }
    bool isText() const { return m_type == FieldType::String || m_type == FieldType::FixedString; }

private:
    int m_index;
    FieldType m_type;
};

class LiteralOperand : public Operand {
public:
    static std::unique_ptr<LiteralOperand> text(const QString &value)
    {
        auto literal = std::make_unique<LiteralOperand>();
        literal->m_text = value;
        literal->m_kind = Val::Text;
        return literal;
    }
    static std::unique_ptr<LiteralOperand> number(double value)
    {
        auto literal = std::make_unique<LiteralOperand>();
        literal->m_number = value;
        literal->m_kind = Val::Number;
        return literal;
    }
    void eval(const Row &, Val &out) const override
    {
        out.kind = m_kind;
        out.text = &m_text;
        out.number = m_number;
    }
    bool isLiteral() const override { return true; }
    bool isText() const { return m_kind == Val::Text; }
    const QString &textValue() const { return m_text; }

private:
    Val::Kind m_kind = Val::Text;
    QString m_text;
    double m_number = 0;
};

class FunctionOperand : public Operand {
public:
    enum class Kind { Upper, Lower, Trim };
    FunctionOperand(Kind kind, std::unique_ptr<Operand> inner) : m_kind(kind), m_inner(std::move(inner)) {}
    void eval(const Row &row, Val &out) const override
    {
        Val inner;
        m_inner->eval(row, inner);
        if (inner.kind == Val::Null) {
            out.kind = Val::Null;
            return;
        }
        QString text = inner.kind == Val::Number ? QString::number(inner.number, 'g', 15)
                     : inner.kind == Val::Date   ? inner.date.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
                                                 : textOf(inner);
        switch (m_kind) {
        case Kind::Upper: out.setOwned(text.toUpper()); break;
        case Kind::Lower: out.setOwned(text.toLower()); break;
        case Kind::Trim: out.setOwned(text.trimmed()); break;
        }
    }

private:
    Kind m_kind;
    std::unique_ptr<Operand> m_inner;
};

// ---------------------------------------------------------------- conditions

class ConstantNode : public Expression {
public:
    explicit ConstantNode(bool value) : m_value(value) {}
    bool matches(const Row &) const override { return m_value; }

private:
    bool m_value;
};

class AndNode : public Expression {
public:
    std::vector<std::unique_ptr<Expression>> parts;
    bool matches(const Row &row) const override
    {
        for (const auto &part : parts) {
            if (!part->matches(row))
                return false;
        }
        return true;
    }
};

class OrNode : public Expression {
public:
    std::vector<std::unique_ptr<Expression>> parts;
    bool matches(const Row &row) const override
    {
        for (const auto &part : parts) {
            if (part->matches(row))
                return true;
        }
        return false;
    }
};

class NotNode : public Expression {
public:
    explicit NotNode(std::unique_ptr<Expression> inner) : m_inner(std::move(inner)) {}
    bool matches(const Row &row) const override { return !m_inner->matches(row); }

private:
    std::unique_ptr<Expression> m_inner;
};

enum class Op { Eq, Ne, Lt, Gt, Le, Ge };

bool applyOp(Op op, int comparison)
{
    switch (op) {
    case Op::Eq: return comparison == 0;
    case Op::Ne: return comparison != 0;
    case Op::Lt: return comparison < 0;
    case Op::Gt: return comparison > 0;
    case Op::Le: return comparison <= 0;
    case Op::Ge: return comparison >= 0;
    }
    return false;
}

class CompareNode : public Expression {
public:
    CompareNode(Op op, std::unique_ptr<Operand> left, std::unique_ptr<Operand> right, Qt::CaseSensitivity cs)
        : m_op(op), m_left(std::move(left)), m_right(std::move(right)), m_cs(cs)
    {
    }
    bool matches(const Row &row) const override
    {
        Val left, right;
        m_left->eval(row, left);
        m_right->eval(row, right);
        return applyOp(m_op, compareValues(left, right, m_cs));
    }

private:
    Op m_op;
    std::unique_ptr<Operand> m_left, m_right;
    Qt::CaseSensitivity m_cs;
};

// FIELD = 'text' and FIELD <> 'text' on a text field: the common case, compared in place.
class FieldTextNode : public Expression {
public:
    FieldTextNode(int field, const QString &text, bool equal, Qt::CaseSensitivity cs)
        : m_field(field), m_text(text), m_equal(equal), m_cs(cs)
    {
    }
    bool matches(const Row &row) const override
    {
        if (m_field >= row.size())
            return m_text.isEmpty() == m_equal;
        const QVariant &value = row.at(m_field);
        bool same;
        if (const QString *text = dsvalue::text(value))
            same = m_cs == Qt::CaseSensitive ? *text == m_text : text->compare(m_text, m_cs) == 0;
        else if (dsvalue::isNull(value))
            same = m_text.isEmpty();
        else
            same = value.toString().compare(m_text, m_cs) == 0;
        return same == m_equal;
    }

private:
    int m_field;
    QString m_text;
    bool m_equal;
    Qt::CaseSensitivity m_cs;
};

class InNode : public Expression {
public:
    InNode(std::unique_ptr<Operand> operand, std::vector<std::unique_ptr<Operand>> list, bool negate,
           Qt::CaseSensitivity cs)
        : m_operand(std::move(operand)), m_list(std::move(list)), m_negate(negate), m_cs(cs)
    {
    }
    bool matches(const Row &row) const override
    {
        Val value;
        m_operand->eval(row, value);
        for (const auto &item : m_list) {
            Val candidate;
            item->eval(row, candidate);
            if (compareValues(value, candidate, m_cs) == 0)
                return !m_negate;
        }
        return m_negate;
    }

private:
    std::unique_ptr<Operand> m_operand;
    std::vector<std::unique_ptr<Operand>> m_list;
    bool m_negate;
    Qt::CaseSensitivity m_cs;
};

class IsNullNode : public Expression {
public:
    IsNullNode(std::unique_ptr<Operand> operand, bool negate) : m_operand(std::move(operand)), m_negate(negate) {}
    bool matches(const Row &row) const override
    {
        Val value;
        m_operand->eval(row, value);
        return (value.kind == Val::Null) != m_negate;
    }

private:
    std::unique_ptr<Operand> m_operand;
    bool m_negate;
};

class LikeNode : public Expression {
public:
    LikeNode(std::unique_ptr<Operand> operand, const QString &pattern, bool negate, Qt::CaseSensitivity cs)
        : m_operand(std::move(operand)), m_negate(negate)
    {
        QString regex;
        for (const QChar c : pattern) {
            if (c == u'%')
                regex += QStringLiteral(".*");
            else if (c == u'_')
                regex += u'.';
            else
                regex += QRegularExpression::escape(QString(c));
        }
        m_regex.setPattern(QRegularExpression::anchoredPattern(regex));
        m_regex.setPatternOptions(QRegularExpression::DotMatchesEverythingOption
                                  | (cs == Qt::CaseInsensitive ? QRegularExpression::CaseInsensitiveOption
                                                               : QRegularExpression::NoPatternOption));
    }
    bool matches(const Row &row) const override
    {
        Val value;
        m_operand->eval(row, value);
        const QString text = value.kind == Val::Number ? QString::number(value.number, 'g', 15)
                           : value.kind == Val::Date   ? value.date.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
                                                       : textOf(value);
        return m_regex.match(text).hasMatch() != m_negate;
    }

private:
    std::unique_ptr<Operand> m_operand;
    QRegularExpression m_regex;
    bool m_negate;
};

// ---------------------------------------------------------------- tokens

struct Token {
    enum Kind { End, Ident, QuotedIdent, Text, Number, Operator, LParen, RParen, Comma } kind = End;
    QString text;
    double number = 0;
    qsizetype position = 0;
};

class Parser {
public:
    Parser(const QString &text, const FieldResolver &fields, bool caseInsensitive)
        : m_text(text), m_fields(fields), m_cs(caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive)
    {
        tokenize();
    }

    std::unique_ptr<Expression> parse()
    {
        if (peek().kind == Token::End)
            fail(QStringLiteral("a expressão está vazia"), 0);
        auto expression = parseOr();
        if (peek().kind != Token::End)
            fail(QStringLiteral("\"%1\" inesperado").arg(peek().text), peek().position);
        return expression;
    }

private:
    [[noreturn]] void fail(const QString &detail, qsizetype position) const
    {
        throw EHomologa(QStringLiteral("Filtro inválido \"%1\": %2 (posição %3).").arg(m_text, detail).arg(position + 1));
    }

    void tokenize()
    {
        qsizetype i = 0;
        const qsizetype n = m_text.size();
        while (i < n) {
            const QChar c = m_text[i];
            if (c.isSpace()) {
                ++i;
                continue;
            }
            Token token;
            token.position = i;
            if (c == u'\'' || c == u'"') {
                const QChar quote = c;
                QString value;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (m_text[i] == quote) {
                        if (i + 1 < n && m_text[i + 1] == quote) {
                            value += quote;
                            i += 2;
                            continue;
                        }
                        closed = true;
                        ++i;
                        break;
                    }
                    value += m_text[i++];
                }
                if (!closed)
                    fail(QStringLiteral("texto sem aspas de fechamento"), token.position);
                token.kind = Token::Text;
                token.text = value;
            } else if (c == u'[') {
                const qsizetype end = m_text.indexOf(u']', i + 1);
                if (end < 0)
                    fail(QStringLiteral("nome de campo sem \"]\" de fechamento"), i);
                token.kind = Token::QuotedIdent;
                token.text = m_text.mid(i + 1, end - i - 1).trimmed();
                i = end + 1;
            } else if (c.isDigit() || (c == u'.' && i + 1 < n && m_text[i + 1].isDigit())
                       || (c == u'-' && i + 1 < n && (m_text[i + 1].isDigit() || m_text[i + 1] == u'.'))) {
                qsizetype start = i++;
                while (i < n && (m_text[i].isDigit() || m_text[i] == u'.'))
                    ++i;
                token.text = m_text.mid(start, i - start);
                bool ok = false;
                token.number = token.text.toDouble(&ok);
                if (!ok)
                    fail(QStringLiteral("número inválido \"%1\"").arg(token.text), start);
                if (i < n && (m_text[i].isLetter() || m_text[i] == u'_'))
                    fail(QStringLiteral("número inválido \"%1\"").arg(token.text + m_text[i]), start);
                token.kind = Token::Number;
            } else if (c.isLetter() || c == u'_') {
                qsizetype start = i;
                while (i < n && (m_text[i].isLetterOrNumber() || m_text[i] == u'_' || m_text[i] == u'.'))
                    ++i;
                token.kind = Token::Ident;
                token.text = m_text.mid(start, i - start);
            } else if (c == u'(') {
                token.kind = Token::LParen;
                token.text = c;
                ++i;
            } else if (c == u')') {
                token.kind = Token::RParen;
                token.text = c;
                ++i;
            } else if (c == u',') {
                token.kind = Token::Comma;
                token.text = c;
                ++i;
            } else if (c == u'=' || c == u'<' || c == u'>' || c == u'!') {
                QString op(c);
                if (i + 1 < n && (m_text[i + 1] == u'=' || (c == u'<' && m_text[i + 1] == u'>')))
                    op += m_text[i + 1];
                if (op == u"!")
                    fail(QStringLiteral("operador \"!\" inválido"), i);
                i += op.size();
                token.kind = Token::Operator;
                token.text = op;
            } else {
                fail(QStringLiteral("caractere \"%1\" inesperado").arg(c), i);
            }
            m_tokens.push_back(token);
        }
        Token end;
        end.position = n;
        m_tokens.push_back(end);
    }

    const Token &peek(int ahead = 0) const
    {
        const size_t index = std::min(m_pos + ahead, m_tokens.size() - 1);
        return m_tokens[index];
    }
    Token take() { return m_tokens[std::min(m_pos++, m_tokens.size() - 1)]; }
    bool isKeyword(const Token &token, const char *word) const
    {
        return token.kind == Token::Ident && token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool acceptKeyword(const char *word)
    {
        if (isKeyword(peek(), word)) {
            ++m_pos;
            return true;
        }
        return false;
    }
    void expect(Token::Kind kind, const QString &what)
    {
        if (peek().kind != kind)
            fail(QStringLiteral("esperado %1").arg(what), peek().position);
        ++m_pos;
    }

    std::unique_ptr<Expression> parseOr()
    {
        auto first = parseAnd();
        if (!isKeyword(peek(), "OR"))
            return first;
        auto node = std::make_unique<OrNode>();
        node->parts.push_back(std::move(first));
        while (acceptKeyword("OR"))
            node->parts.push_back(parseAnd());
        return node;
    }

    std::unique_ptr<Expression> parseAnd()
    {
        auto first = parseFactor();
        if (!isKeyword(peek(), "AND"))
            return first;
        auto node = std::make_unique<AndNode>();
        node->parts.push_back(std::move(first));
        while (acceptKeyword("AND"))
            node->parts.push_back(parseFactor());
        return node;
    }

    std::unique_ptr<Expression> parseFactor()
    {
        if (acceptKeyword("NOT"))
            return std::make_unique<NotNode>(parseFactor());
        if (peek().kind == Token::LParen) {
            ++m_pos;
            auto inner = parseOr();
            expect(Token::RParen, QStringLiteral("\")\""));
            return inner;
        }
        return parseTest();
    }

    std::unique_ptr<Operand> parseOperand()
    {
        const Token token = take();
        switch (token.kind) {
        case Token::Text: return LiteralOperand::text(token.text);
        case Token::Number: return LiteralOperand::number(token.number);
        case Token::QuotedIdent: return fieldOperand(token);
        case Token::Ident: {
            static const char *const reserved[] = {"AND", "OR", "NOT", "IN", "IS", "NULL", "LIKE"};
            for (const char *word : reserved) {
                if (isKeyword(token, word))
                    fail(QStringLiteral("esperado um campo ou um valor antes de \"%1\"").arg(token.text), token.position);
            }
            if (peek().kind == Token::LParen) {
                FunctionOperand::Kind kind;
                if (isKeyword(token, "UPPER"))
                    kind = FunctionOperand::Kind::Upper;
                else if (isKeyword(token, "LOWER"))
                    kind = FunctionOperand::Kind::Lower;
                else if (isKeyword(token, "TRIM"))
                    kind = FunctionOperand::Kind::Trim;
                else
                    fail(QStringLiteral("função \"%1\" desconhecida").arg(token.text), token.position);
                ++m_pos;
                auto inner = parseOperand();
                expect(Token::RParen, QStringLiteral("\")\" depois do argumento de %1").arg(token.text.toUpper()));
                return std::make_unique<FunctionOperand>(kind, std::move(inner));
            }
            return fieldOperand(token);
        }
        case Token::End: fail(QStringLiteral("a expressão terminou antes do esperado"), token.position);
        default: fail(QStringLiteral("esperado um campo ou um valor no lugar de \"%1\"").arg(token.text), token.position);
        }
    }

    std::unique_ptr<Operand> fieldOperand(const Token &token)
    {
        const auto field = m_fields(token.text);
        if (!field)
            fail(QStringLiteral("o campo \"%1\" não existe").arg(token.text), token.position);
        return std::make_unique<FieldOperand>(field->index, field->type);
    }

    std::unique_ptr<Expression> parseTest()
    {
        auto left = parseOperand();
        bool negate = false;
        if (isKeyword(peek(), "NOT") && (isKeyword(peek(1), "IN") || isKeyword(peek(1), "LIKE"))) {
            ++m_pos;
            negate = true;
        }
        if (acceptKeyword("IN")) {
            expect(Token::LParen, QStringLiteral("\"(\" depois de IN"));
            std::vector<std::unique_ptr<Operand>> list;
            do {
                auto item = parseOperand();
                list.push_back(std::move(item));
            } while (peek().kind == Token::Comma && (++m_pos, true));
            expect(Token::RParen, QStringLiteral("\")\" no fim da lista de IN"));
            auto node = std::make_unique<InNode>(std::move(left), std::move(list), negate, m_cs);
            return node;
        }
        if (acceptKeyword("LIKE")) {
            const Token pattern = take();
            if (pattern.kind != Token::Text)
                fail(QStringLiteral("esperado um texto depois de LIKE"), pattern.position);
            return std::make_unique<LikeNode>(std::move(left), pattern.text, negate, m_cs);
        }
        if (acceptKeyword("IS")) {
            const bool isNot = acceptKeyword("NOT");
            if (!acceptKeyword("NULL"))
                fail(QStringLiteral("esperado NULL depois de IS"), peek().position);
            return std::make_unique<IsNullNode>(std::move(left), isNot);
        }
        const Token opToken = take();
        if (opToken.kind != Token::Operator)
            fail(opToken.kind == Token::End ? QStringLiteral("falta um operador de comparação no fim")
                                            : QStringLiteral("esperado um operador de comparação no lugar de \"%1\"")
                                                  .arg(opToken.text),
                 opToken.position);
        Op op;
        if (opToken.text == u"=" || opToken.text == u"==")
            op = Op::Eq;
        else if (opToken.text == u"<>" || opToken.text == u"!=")
            op = Op::Ne;
        else if (opToken.text == u"<")
            op = Op::Lt;
        else if (opToken.text == u">")
            op = Op::Gt;
        else if (opToken.text == u"<=")
            op = Op::Le;
        else if (opToken.text == u">=")
            op = Op::Ge;
        else
            fail(QStringLiteral("operador \"%1\" inválido").arg(opToken.text), opToken.position);
        auto right = parseOperand();

        if (left->isLiteral() && right->isLiteral()) {
            Val a, b;
            const Row none;
            left->eval(none, a);
            right->eval(none, b);
            return std::make_unique<ConstantNode>(applyOp(op, compareValues(a, b, m_cs)));
        }
        if (op == Op::Eq || op == Op::Ne) {
            auto *field = dynamic_cast<FieldOperand *>(left.get());
            auto *literal = dynamic_cast<LiteralOperand *>(right.get());
            if (!field) {
                field = dynamic_cast<FieldOperand *>(right.get());
                literal = dynamic_cast<LiteralOperand *>(left.get());
            }
            if (field && literal && literal->isText() && field->isText())
                return std::make_unique<FieldTextNode>(field->index(), literal->textValue(), op == Op::Eq, m_cs);
        }
        return std::make_unique<CompareNode>(op, std::move(left), std::move(right), m_cs);
    }

    QString m_text;
    const FieldResolver &m_fields;
    Qt::CaseSensitivity m_cs;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

}  // namespace

std::shared_ptr<const Expression> compile(const QString &text, const FieldResolver &fields, bool caseInsensitive)
{
    Parser parser(text, fields, caseInsensitive);
    return parser.parse();
}

}  // namespace dsfilter
