#pragma once

#include <QHash>
#include <QString>
#include <QVariantList>

namespace cg {

enum class Backend;

// The columns one operation lets a screen filter or order by: the name a
// screen writes (optionally alias-qualified, e.g. "v.license") mapped to the
// SQL expression it stands for. Lookups ignore letter case.
class ColumnMap {
public:
    ColumnMap &add(const QString &name, const QString &sqlExpression);
    // The SQL expression for a written column name, or an empty string.
    QString resolve(const QString &name) const;
    QStringList names() const;
private:
    QHash<QString, QString> m_map; // lower-case name -> expression
};

// A filter compiled to SQL with positional (?) bound values.
struct CompiledSql {
    QString sql;          // empty when the fragment was empty
    QVariantList binds;
};

// Parses a WHERE fragment as screens build them (comparisons, LIKE, AND, OR,
// NOT, parentheses, numbers, quoted texts including the 'O'+"'"+'K' form) and
// compiles it for the backend. Anything else is refused with a ServiceError
// (svcerr::BadFragment) saying what and where; nothing is ever pasted.
CompiledSql compileWhere(const QString &fragment, const ColumnMap &columns, Backend backend);

// An ORDER BY text: allowed columns with optional ASC/DESC, comma separated.
QString compileOrderBy(const QString &orderBy, const ColumnMap &columns);

} // namespace cg
