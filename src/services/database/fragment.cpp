#include "services/database/fragment.h"

#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QDateTime>
#include <QSet>

#include <limits>
#include <memory>
#include <vector>

namespace cg {

using namespace Qt::StringLiterals;

ColumnMap &ColumnMap::add(const QString &name, const QString &sqlExpression, ColumnType type)
{
    m_map.insert(name.trimmed().toLower(), Column{sqlExpression, type});
    return *this;
}

ColumnMap &ColumnMap::addQualified(const QString &alias, const QString &name, const QString &sqlExpression,
                                   ColumnType type)
{
    add(name, sqlExpression, type);
    return add(alias + u'.' + name, sqlExpression, type);
}

ColumnMap &ColumnMap::addTableColumns(const QString &alias, ColumnType type, const QStringList &names)
{
    for (const QString &name : names)
        addQualified(alias, name, alias + u'.' + name, type);
    return *this;
}

QString ColumnMap::resolve(const QString &name) const
{
    return m_map.value(name.toLower()).expression;
}

ColumnType ColumnMap::type(const QString &name) const
{
    return m_map.value(name.toLower()).type;
}

bool ColumnMap::contains(const QString &name) const
{
    return m_map.contains(name.toLower());
}

QStringList ColumnMap::names() const
{
    QStringList list = m_map.keys();
    list.sort();
    return list;
}

namespace {

// Words that never belong in a filter or an ORDER BY text. A fragment using
// one is refused with the word named, rather than as an unknown column.
const QSet<QString> &reservedWords()
{
    static const QSet<QString> words = {
        u"SELECT"_s, u"UNION"_s, u"INTERSECT"_s, u"EXCEPT"_s, u"FROM"_s, u"WHERE"_s,
        u"INSERT"_s, u"UPDATE"_s, u"DELETE"_s, u"DROP"_s, u"CREATE"_s, u"ALTER"_s,
        u"TRUNCATE"_s, u"GRANT"_s, u"REVOKE"_s, u"EXEC"_s, u"EXECUTE"_s, u"INTO"_s,
        u"JOIN"_s, u"ON"_s, u"HAVING"_s, u"GROUP"_s, u"ORDER"_s, u"BY"_s, u"LIMIT"_s,
        u"OFFSET"_s, u"EXISTS"_s, u"IN"_s, u"IS"_s, u"NULL"_s, u"BETWEEN"_s, u"CASE"_s,
        u"WHEN"_s, u"THEN"_s, u"ELSE"_s, u"END"_s, u"ILIKE"_s, u"GLOB"_s, u"REGEXP"_s,
        u"MATCH"_s, u"SIMILAR"_s, u"ESCAPE"_s, u"COLLATE"_s, u"CAST"_s, u"AS"_s,
        u"DISTINCT"_s, u"ALL"_s, u"ANY"_s, u"SOME"_s, u"VALUES"_s, u"TABLE"_s, u"WITH"_s,
        u"ATTACH"_s, u"DETACH"_s, u"PRAGMA"_s, u"VACUUM"_s, u"COPY"_s, u"DO"_s,
        u"BEGIN"_s, u"COMMIT"_s, u"ROLLBACK"_s, u"SET"_s, u"TRUE"_s, u"FALSE"_s,
    };
    return words;
}

enum class Tok { Name, Number, Text, Op, LParen, RParen, Comma, And, Or, Not, Like, End };

struct Token {
    Tok kind = Tok::End;
    qsizetype pos = 0;    // 0-based index of the first character
    QString text;         // as written (names, numbers, operators)
    QVariant value;       // numbers: qlonglong or double; texts: the text
};

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Raises the refusal. `what` is 筛选条件 or 排序条件; positions are shown
// 1-based, counted in characters of the text the screen passed.
[[noreturn]] void refuse(const QString &what, qsizetype pos, const QString &problem)
{
    throw ServiceError(svcerr::BadFragment,
                       u"%1第 %2 个字符处%3"_s.arg(what).arg(pos + 1).arg(problem));
}

class Lexer {
public:
    Lexer(const QString &src, const ColumnMap &columns, const QString &what, bool orderBy)
        : m_src(src), m_columns(columns), m_what(what), m_orderBy(orderBy) {}

    QList<Token> run()
    {
        QList<Token> out;
        const qsizetype n = m_src.size();
        qsizetype i = 0;
        while (true) {
            i = skipSpace(i);
            if (i >= n)
                break;
            const QChar c = m_src.at(i);
            const QChar next = i + 1 < n ? m_src.at(i + 1) : QChar();
            if (c == u';')
                refuse(m_what, i, u"有不允许的分号"_s);
            if ((c == u'-' && next == u'-') || (c == u'/' && next == u'*') || (c == u'*' && next == u'/'))
                refuse(m_what, i, u"有不允许的注释符号“%1%2”"_s.arg(c).arg(next));
            if (c == u'\'') {
                out.append(text(i));
                i = m_end;
            } else if (isAsciiDigit(c) || (c == u'-' && isAsciiDigit(next))) {
                out.append(number(i));
                i = m_end;
            } else if (isAsciiLetter(c)) {
                out.append(name(i));
                i = m_end;
            } else if (c == u'(' || c == u')') {
                out.append(Token{c == u'(' ? Tok::LParen : Tok::RParen, i, QString(c), {}});
                ++i;
            } else if (c == u',' && m_orderBy) {
                out.append(Token{Tok::Comma, i, QString(c), {}});
                ++i;
            } else if (c == u'=' || c == u'<' || c == u'>' || (c == u'!' && next == u'=')) {
                QString op(c);
                if ((c == u'<' && (next == u'=' || next == u'>')) || (c != u'=' && next == u'='))
                    op += next;
                out.append(Token{Tok::Op, i, op, {}});
                i += op.size();
            } else if (c == u'"') {
                refuse(m_what, i, u"有不允许的双引号（文字须用单引号括起）"_s);
            } else {
                refuse(m_what, i, u"有不允许的字符“%1”"_s.arg(c));
            }
        }
        out.append(Token{Tok::End, n, QString(), {}});
        return out;
    }

private:
    qsizetype skipSpace(qsizetype i) const
    {
        while (i < m_src.size() && m_src.at(i).isSpace())
            ++i;
        return i;
    }

    // One quoted piece starting at the apostrophe at `start`; a doubled
    // apostrophe inside stands for one. Returns the index after the closing
    // apostrophe.
    qsizetype quoted(qsizetype start, QString &value) const
    {
        qsizetype i = start + 1;
        while (true) {
            if (i >= m_src.size())
                refuse(m_what, start, u"开始的文字缺少结束的单引号"_s);
            const QChar c = m_src.at(i);
            if (c.isNull()) // no backend keeps a NUL in a text, and PostgreSQL's client cuts the statement at one
                refuse(m_what, i, u"的文字中有不允许的空字符（NUL）"_s);
            if (c == u'\'') {
                if (i + 1 < m_src.size() && m_src.at(i + 1) == u'\'') {
                    value += c;
                    i += 2;
                    continue;
                }
                return i + 1;
            }
            value += c;
            ++i;
        }
    }

    // A text literal: 'piece' followed by any number of +"'"+'piece', the
    // form SqlLiteral gives a text with apostrophes in it.
    Token text(qsizetype start)
    {
        QString value;
        qsizetype i = quoted(start, value);
        const QString joinProblem = u"的“+”只能以 +\"'\"+ 的形式连接文字中的单引号"_s;
        while (true) {
            const qsizetype plus = skipSpace(i);
            if (plus >= m_src.size() || m_src.at(plus) != u'+')
                break;
            qsizetype k = skipSpace(plus + 1);
            if (!(k + 2 < m_src.size() && m_src.at(k) == u'"' && m_src.at(k + 1) == u'\''
                  && m_src.at(k + 2) == u'"'))
                refuse(m_what, plus, joinProblem);
            k = skipSpace(k + 3);
            if (k >= m_src.size() || m_src.at(k) != u'+')
                refuse(m_what, plus, joinProblem);
            k = skipSpace(k + 1);
            if (k >= m_src.size() || m_src.at(k) != u'\'')
                refuse(m_what, plus, joinProblem);
            value += u'\'';
            i = quoted(k, value);
        }
        m_end = i;
        return Token{Tok::Text, start, m_src.mid(start, i - start), value};
    }

    Token number(qsizetype start)
    {
        qsizetype i = start;
        if (m_src.at(i) == u'-')
            ++i;
        while (i < m_src.size() && isAsciiDigit(m_src.at(i)))
            ++i;
        bool decimal = false;
        if (i + 1 < m_src.size() && m_src.at(i) == u'.' && isAsciiDigit(m_src.at(i + 1))) {
            decimal = true;
            i += 2;
            while (i < m_src.size() && isAsciiDigit(m_src.at(i)))
                ++i;
        }
        qsizetype bad = i;
        while (bad < m_src.size() && (isAsciiLetter(m_src.at(bad)) || isAsciiDigit(m_src.at(bad))
                                      || m_src.at(bad) == u'.'))
            ++bad;
        const QString written = m_src.mid(start, bad - start);
        if (bad != i)
            refuse(m_what, start, u"的数值“%1”无效"_s.arg(written));
        QVariant value;
        bool ok = false;
        if (!decimal) {
            const qlonglong v = written.toLongLong(&ok);
            if (ok)
                value = v;
        }
        if (!ok) {
            // A decimal, or an integer too large for 64 bits.
            const double v = written.toDouble(&ok);
            if (!ok || !qIsFinite(v))
                refuse(m_what, start, u"的数值“%1”超出范围"_s.arg(written));
            value = v;
        }
        m_end = i;
        return Token{Tok::Number, start, written, value};
    }

    // A column name, optionally qualified (vd.driver_id), or a keyword.
    Token name(qsizetype start)
    {
        qsizetype i = start;
        while (true) {
            while (i < m_src.size() && (isAsciiLetter(m_src.at(i)) || isAsciiDigit(m_src.at(i))))
                ++i;
            if (i + 1 < m_src.size() && m_src.at(i) == u'.' && isAsciiLetter(m_src.at(i + 1)))
                ++i;
            else
                break;
        }
        m_end = i;
        const QString written = m_src.mid(start, i - start);
        const QString upper = written.toUpper();
        if (!m_orderBy) {
            if (upper == u"AND"_s)
                return Token{Tok::And, start, written, {}};
            if (upper == u"OR"_s)
                return Token{Tok::Or, start, written, {}};
            if (upper == u"NOT"_s)
                return Token{Tok::Not, start, written, {}};
            if (upper == u"LIKE"_s)
                return Token{Tok::Like, start, written, {}};
        }
        const bool reserved = reservedWords().contains(upper) && !m_columns.contains(written);
        const qsizetype after = skipSpace(i);
        if (after < m_src.size() && m_src.at(after) == u'(') {
            if (reserved)
                refuse(m_what, start, u"有不允许的关键字“%1”"_s.arg(written));
            refuse(m_what, start, u"有不允许的函数调用“%1(”"_s.arg(written));
        }
        if (reserved)
            refuse(m_what, start, u"有不允许的关键字“%1”"_s.arg(written));
        return Token{Tok::Name, start, written, {}};
    }

    const QString &m_src;
    const ColumnMap &m_columns;
    const QString m_what;
    const bool m_orderBy;
    qsizetype m_end = 0; // index after the token just scanned
};

// ---- the expression tree -------------------------------------------------

struct Operand {
    enum Kind { Column, Number, Text } kind = Column;
    qsizetype pos = 0;
    QString written;       // as the screen wrote it
    QString expression;    // columns: the mapped SQL expression
    ColumnType type = ColumnType::Text;
    QVariant value;        // literals: the value to bind
    QString numberText;    // numbers: the digits, for PostgreSQL's NUMERIC
};

struct Node {
    enum Kind { And, Or, Not, Compare, Like } kind = Compare;
    std::vector<std::unique_ptr<Node>> children; // And, Or: two or more; Not: one
    QString op;           // Compare: =, <>, <, >, <=, >=
    bool negated = false; // Like: NOT LIKE
    Operand lhs, rhs;
};

bool isNumeric(ColumnType t)
{
    return t == ColumnType::Integer || t == ColumnType::Decimal;
}

class Parser {
public:
    Parser(const QString &src, QList<Token> tokens, const ColumnMap &columns)
        : m_src(src), m_tokens(std::move(tokens)), m_columns(columns) {}

    std::unique_ptr<Node> run()
    {
        // " AND x" is how a screen appends a filter to nothing: the leading
        // AND joins onto "true", so the fragment means x.
        if (cur().kind == Tok::And)
            ++m_at;
        auto root = parseOr(0);
        if (cur().kind == Tok::RParen)
            fail(cur().pos, u"有多余的右括号"_s);
        if (cur().kind != Tok::End)
            fail(cur().pos, u"有多余的内容“%1”"_s.arg(snippet(cur().pos)));
        return root;
    }

private:
    const Token &cur() const { return m_tokens.at(m_at); }

    [[noreturn]] void fail(qsizetype pos, const QString &problem) const
    {
        refuse(u"筛选条件"_s, pos, problem);
    }

    QString snippet(qsizetype pos) const
    {
        const QString rest = m_src.mid(pos).trimmed();
        return rest.size() > 20 ? rest.left(20) + u'…' : rest;
    }

    [[noreturn]] void unexpected(const QString &expected) const
    {
        if (cur().kind == Tok::End)
            fail(cur().pos, u"意外结束，缺少%1"_s.arg(expected));
        fail(cur().pos, u"应为%1，不应是“%2”"_s.arg(expected, snippet(cur().pos)));
    }

    void checkDepth(int depth) const
    {
        if (depth > MaxFragmentDepth)
            fail(cur().pos, u"括号或 NOT 嵌套超过 %1 层"_s.arg(MaxFragmentDepth));
    }

    // operand { joiner operand }: one operand alone, or a node of the kind
    // with every operand as a child.
    std::unique_ptr<Node> parseChain(int depth, Tok joiner, Node::Kind kind,
                                     std::unique_ptr<Node> (Parser::*operand)(int))
    {
        auto first = (this->*operand)(depth);
        if (cur().kind != joiner)
            return first;
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->children.push_back(std::move(first));
        while (cur().kind == joiner) {
            ++m_at;
            node->children.push_back((this->*operand)(depth));
        }
        return node;
    }

    std::unique_ptr<Node> parseOr(int depth) { return parseChain(depth, Tok::Or, Node::Or, &Parser::parseAnd); }
    std::unique_ptr<Node> parseAnd(int depth) { return parseChain(depth, Tok::And, Node::And, &Parser::parseNot); }

    std::unique_ptr<Node> parseNot(int depth)
    {
        if (cur().kind != Tok::Not)
            return parsePrimary(depth);
        checkDepth(depth + 1);
        ++m_at;
        auto node = std::make_unique<Node>();
        node->kind = Node::Not;
        node->children.push_back(parseNot(depth + 1));
        return node;
    }

    std::unique_ptr<Node> parsePrimary(int depth)
    {
        if (cur().kind == Tok::LParen) {
            checkDepth(depth + 1);
            const qsizetype open = cur().pos;
            ++m_at;
            auto inner = parseOr(depth + 1);
            if (cur().kind == Tok::End)
                fail(open, u"的左括号没有对应的右括号"_s);
            if (cur().kind != Tok::RParen)
                unexpected(u"右括号、AND 或 OR"_s);
            ++m_at;
            return inner;
        }
        return parseCondition();
    }

    std::unique_ptr<Node> parseCondition()
    {
        auto node = std::make_unique<Node>();
        node->lhs = parseOperand();
        if (cur().kind == Tok::Op) {
            const qsizetype opPos = cur().pos;
            node->kind = Node::Compare;
            node->op = cur().text == u"!="_s ? u"<>"_s : cur().text;
            ++m_at;
            node->rhs = parseOperand();
            checkComparison(*node, opPos);
            return node;
        }
        if (cur().kind == Tok::Not && m_at + 1 < m_tokens.size()
            && m_tokens.at(m_at + 1).kind == Tok::Like) {
            node->negated = true;
            ++m_at;
        }
        if (cur().kind != Tok::Like)
            unexpected(u"比较运算符（=、<>、<、>、<=、>=、LIKE）"_s);
        const qsizetype likePos = cur().pos;
        ++m_at;
        node->kind = Node::Like;
        node->rhs = parseOperand();
        if (node->lhs.kind == Operand::Number)
            fail(likePos, u"的 LIKE 左边须为列名或文字"_s);
        if (node->rhs.kind != Operand::Text)
            fail(node->rhs.pos, u"的 LIKE 模式须为单引号括起的文字"_s);
        return node;
    }

    Operand parseOperand()
    {
        const Token &t = cur();
        Operand o;
        o.pos = t.pos;
        o.written = t.text;
        switch (t.kind) {
        case Tok::Name:
            if (!m_columns.contains(t.text))
                fail(t.pos, u"的列“%1”不存在或不允许用于筛选"_s.arg(t.text));
            o.kind = Operand::Column;
            o.expression = m_columns.resolve(t.text);
            o.type = m_columns.type(t.text);
            break;
        case Tok::Number:
            o.kind = Operand::Number;
            o.value = t.value;
            o.numberText = t.text;
            break;
        case Tok::Text:
            o.kind = Operand::Text;
            o.value = t.value;
            break;
        case Tok::RParen:
            fail(t.pos, u"有多余的右括号"_s);
        default:
            unexpected(u"列名、数值或文字"_s);
        }
        ++m_at;
        return o;
    }

    // Makes a literal compared with a column fit the column's type, or
    // refuses it, so that the database never sees a value it would have to
    // reject (PostgreSQL) or compare by surprising rules (SQLite).
    void fitLiteral(Operand &lit, const Operand &col) const
    {
        switch (col.type) {
        case ColumnType::Text:
            if (lit.kind == Operand::Number) { // 123 against a text column means '123'
                lit.kind = Operand::Text;
                lit.value = lit.written;
            }
            return;
        case ColumnType::Integer:
        case ColumnType::Decimal: {
            if (lit.kind == Operand::Number)
                return;
            const QString s = lit.value.toString().trimmed();
            bool ok = false;
            const qlonglong i = s.toLongLong(&ok);
            lit.kind = Operand::Number;
            lit.numberText = s;
            if (ok) {
                lit.value = i;
                return;
            }
            const double d = s.toDouble(&ok);
            if (!ok || !qIsFinite(d) || s.contains(u'e', Qt::CaseInsensitive))
                fail(lit.pos, u"的文字“%1”不是数值，不能与数值列“%2”比较"_s.arg(s, col.written));
            lit.value = d;
            return;
        }
        case ColumnType::DateTime: {
            if (lit.kind == Operand::Number)
                fail(lit.pos, u"的数值不能与日期时间列“%1”比较"_s.arg(col.written));
            const QString s = lit.value.toString().trimmed();
            // Parsed without a time zone: a date-time in a daylight-saving
            // gap is still the text the screen meant.
            const QDate date = QDate::fromString(s.left(10), u"yyyy-MM-dd"_s);
            QTime time(0, 0);
            const QString rest = s.mid(10);
            if (!rest.isEmpty()) {
                time = QTime();
                if (rest.at(0) == u' ' || rest.at(0) == u'T') {
                    time = QTime::fromString(rest.mid(1), u"HH:mm:ss"_s);
                    if (!time.isValid())
                        time = QTime::fromString(rest.mid(1), u"HH:mm"_s);
                }
            }
            if (!date.isValid() || !time.isValid())
                fail(lit.pos, u"的文字“%1”不是日期时间，不能与日期时间列“%2”比较"_s.arg(s, col.written));
            // The one textual form both backends read: SQLite stores date-times
            // as this text, PostgreSQL converts it to a timestamp.
            lit.value = date.toString(u"yyyy-MM-dd"_s) + u' ' + time.toString(u"HH:mm:ss"_s);
            return;
        }
        }
    }

    void checkComparison(Node &node, qsizetype opPos) const
    {
        Operand &l = node.lhs;
        Operand &r = node.rhs;
        if (l.kind == Operand::Column && r.kind == Operand::Column) {
            if (l.type != r.type && !(isNumeric(l.type) && isNumeric(r.type)))
                fail(opPos, u"比较的列“%1”与“%2”类型不同"_s.arg(l.written, r.written));
        } else if (l.kind == Operand::Column) {
            fitLiteral(r, l);
        } else if (r.kind == Operand::Column) {
            fitLiteral(l, r);
        } else if (l.kind != r.kind) {
            fail(opPos, u"比较的两个值一个是数值、一个是文字"_s);
        }
    }

    const QString &m_src;
    QList<Token> m_tokens;
    const ColumnMap &m_columns;
    qsizetype m_at = 0;
};

// ---- compiling -----------------------------------------------------------

bool isPlainName(const QString &expression)
{
    if (expression.isEmpty() || !isAsciiLetter(expression.at(0)))
        return false;
    for (QChar c : expression)
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'.')
            return false;
    return true;
}

QString columnSql(const QString &expression)
{
    return isPlainName(expression) ? expression : u'(' + expression + u')';
}

class Compiler {
public:
    explicit Compiler(Backend backend)
        : m_dialect(makeDialect(backend)), m_pg(m_dialect->typedPlaceholders())
    {
    }

    QString node(const Node &n)
    {
        switch (n.kind) {
        case Node::And:
        case Node::Or: {
            QStringList parts;
            for (const auto &child : n.children)
                parts.append(node(*child));
            return u'(' + parts.join(n.kind == Node::And ? u" AND "_s : u" OR "_s) + u')';
        }
        case Node::Not:
            return u"NOT "_s + wrapped(*n.children.front());
        case Node::Compare:
        {
            // Binds follow the text: the left side first.
            const QString left = operand(n.lhs, n.rhs);
            const QString right = operand(n.rhs, n.lhs);
            return u'(' + left + u' ' + n.op + u' ' + right + u')';
        }
        case Node::Like:
            return like(n);
        }
        return QString();
    }

    // The whole condition, always parenthesised.
    QString wrapped(const Node &n)
    {
        const QString sql = node(n);
        return n.kind == Node::Not ? u'(' + sql + u')' : sql;
    }

    QVariantList binds;

private:
    QString bind(const QVariant &value)
    {
        binds.append(value);
        return u"?"_s;
    }

    // One side of a comparison. PostgreSQL gives a placeholder the type of
    // the other side, so there a literal compared with another literal gets
    // an explicit type (it cannot infer one from "? = ?"), and a decimal or a
    // large integer is compared as NUMERIC, written as the screen wrote it:
    // against an integer column a bare 1.5 would be rounded to 2.
    QString operand(const Operand &o, const Operand &other)
    {
        if (o.kind == Operand::Column)
            return columnSql(o.expression);
        if (!m_pg)
            return bind(o.value);
        if (o.kind == Operand::Text) {
            bind(o.value);
            return other.kind == Operand::Column ? u"?"_s : u"CAST(? AS TEXT)"_s;
        }
        const bool smallInteger = o.value.typeId() == QMetaType::LongLong
            && o.value.toLongLong() >= std::numeric_limits<qint32>::min()
            && o.value.toLongLong() <= std::numeric_limits<qint32>::max();
        if (smallInteger && other.kind == Operand::Column)
            return bind(o.value);
        bind(smallInteger ? o.value : QVariant(o.numberText));
        return u"CAST(? AS NUMERIC)"_s;
    }

    // LIKE matches the same rows on both backends: ASCII letters without
    // regard to case, % and _ as the only wildcards, no escape character.
    // SQLite's LIKE already works so; PostgreSQL needs ILIKE, ESCAPE '' (its
    // default escape is the backslash) and text on the left side.
    QString like(const Node &n)
    {
        QString left;
        if (n.lhs.kind == Operand::Column) {
            left = columnSql(n.lhs.expression);
            if (m_pg && n.lhs.type != ColumnType::Text)
                left = u"CAST("_s + n.lhs.expression + u" AS TEXT)"_s;
        } else {
            bind(n.lhs.value);
            left = m_pg ? u"CAST(? AS TEXT)"_s : u"?"_s;
        }
        bind(n.rhs.value);
        const QString op = (n.negated ? u"NOT "_s : QString()) + m_dialect->likeCaseInsensitive();
        return u'(' + left + u' ' + op + u" ?"_s + m_dialect->likeWithoutEscape() + u')';
    }

    std::unique_ptr<Dialect> m_dialect;
    bool m_pg; // placeholders and LIKE's left side need explicit types
};

void checkLength(const QString &text, const QString &what)
{
    if (text.size() > MaxFragmentLength)
        throw ServiceError(svcerr::BadFragment,
                           u"%1长 %2 个字符，超过上限 %3 个字符"_s
                               .arg(what).arg(text.size()).arg(MaxFragmentLength));
}

} // namespace

CompiledSql compileWhere(const QString &fragment, const ColumnMap &columns, Backend backend)
{
    const QString what = u"筛选条件"_s;
    checkLength(fragment, what);
    if (fragment.trimmed().isEmpty())
        return {};
    QList<Token> tokens = Lexer(fragment, columns, what, false).run();
    const std::unique_ptr<Node> root = Parser(fragment, std::move(tokens), columns).run();
    Compiler compiler(backend);
    CompiledSql out;
    out.sql = compiler.wrapped(*root);
    out.binds = compiler.binds;
    return out;
}

QString compileOrderBy(const QString &orderBy, const ColumnMap &columns)
{
    const QString what = u"排序条件"_s;
    checkLength(orderBy, what);
    const QList<Token> tokens = Lexer(orderBy, columns, what, true).run();
    if (tokens.size() == 1)
        return QString();
    QStringList items;
    qsizetype at = 0;
    auto unexpected = [&](const QString &expected) {
        const Token &t = tokens.at(at);
        if (t.kind == Tok::End)
            refuse(what, t.pos, u"意外结束，缺少%1"_s.arg(expected));
        refuse(what, t.pos, u"应为%1，不应是“%2”"_s.arg(expected, orderBy.mid(t.pos, 20).trimmed()));
    };
    while (true) {
        const Token &col = tokens.at(at);
        if (col.kind != Tok::Name)
            unexpected(u"列名"_s);
        if (!columns.contains(col.text))
            refuse(what, col.pos, u"的列“%1”不存在或不允许用于排序"_s.arg(col.text));
        QString item = columnSql(columns.resolve(col.text));
        ++at;
        const Token &dir = tokens.at(at);
        if (dir.kind == Tok::Name) {
            const QString upper = dir.text.toUpper();
            if (upper != u"ASC"_s && upper != u"DESC"_s)
                unexpected(u"ASC、DESC 或逗号"_s);
            item += u' ' + upper;
            ++at;
        }
        items.append(item);
        if (tokens.at(at).kind == Tok::End)
            break;
        if (tokens.at(at).kind != Tok::Comma)
            unexpected(u"ASC、DESC 或逗号"_s);
        ++at;
    }
    return items.join(u", "_s);
}

} // namespace cg
