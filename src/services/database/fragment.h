#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace cg {

enum class Backend;

// What kind of value a filterable column holds. It decides how a literal
// compared with the column is bound (a number written against a text column
// is bound as its text, a date text against a date-time column is checked
// and written as 'yyyy-MM-dd HH:mm:ss') and whether LIKE on PostgreSQL has
// to cast the column to text first.
enum class ColumnType { Text, Integer, Decimal, DateTime };

// The columns one operation lets a screen filter or order by: the name a
// screen writes (optionally alias-qualified, e.g. "v.license") mapped to the
// SQL expression it stands for. Lookups ignore letter case.
class ColumnMap {
public:
    ColumnMap &add(const QString &name, const QString &sqlExpression,
                   ColumnType type = ColumnType::Text);
    // The column under its bare name and qualified by alias ("license" and
    // "v.license"), both for the same expression.
    ColumnMap &addQualified(const QString &alias, const QString &name, const QString &sqlExpression,
                            ColumnType type = ColumnType::Text);
    // Columns of the table behind alias that stand for themselves: each name
    // is the expression alias.name, under its bare and its qualified name.
    ColumnMap &addTableColumns(const QString &alias, ColumnType type, const QStringList &names);
    // The SQL expression for a written column name, or an empty string.
    QString resolve(const QString &name) const;
    // The type of a written column name (Text when unknown).
    ColumnType type(const QString &name) const;
    bool contains(const QString &name) const;
    QStringList names() const;
private:
    struct Column {
        QString expression;
        ColumnType type = ColumnType::Text;
    };
    QHash<QString, Column> m_map; // lower-case name -> column
};

// A filter compiled to SQL with positional (?) bound values.
struct CompiledSql {
    QString sql;          // empty when the fragment was empty
    QVariantList binds;
};

// Longest fragment or ORDER BY text accepted, in characters, and the deepest
// nesting of parentheses and NOT.
constexpr int MaxFragmentLength = 4000;
constexpr int MaxFragmentDepth = 32;

// Parses a WHERE fragment as screens build them (comparisons, LIKE, AND, OR,
// NOT, parentheses, numbers, quoted texts including the 'O'+"'"+'K' form) and
// compiles it for the backend. Anything else is refused with a ServiceError
// (svcerr::BadFragment) saying what and where; nothing is ever pasted.
// The result, when not empty, is one parenthesised condition that can be
// joined to the operation's own conditions with AND. See docs/FRAGMENTS.md.
CompiledSql compileWhere(const QString &fragment, const ColumnMap &columns, Backend backend);

// An ORDER BY text: allowed columns with optional ASC/DESC, comma separated.
// Returns the SQL list without the ORDER BY words, or "" for an empty text.
QString compileOrderBy(const QString &orderBy, const ColumnMap &columns);

} // namespace cg
