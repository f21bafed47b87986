#include "services/database/dialect_p.h"

#include "services/database/schema.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

// How SQLite and PostgreSQL report a lost connection, a broken constraint
// or a lost race between transactions.

namespace cg {

namespace dbdetail {

// SQLSTATE classes of PostgreSQL that mean the connection is gone.
bool isPgConnectionLoss(const QSqlError &e)
{
    const QString code = e.nativeErrorCode();
    if (code.startsWith(u"08"_s) || code == u"57P01"_s || code == u"57P02"_s || code == u"57P03"_s)
        return true;
    if (!code.isEmpty())
        return false;
    const QString text = e.databaseText() + u' ' + e.driverText();
    return text.contains(u"server closed the connection"_s, Qt::CaseInsensitive)
        || text.contains(u"terminating connection"_s, Qt::CaseInsensitive)
        || text.contains(u"no connection to the server"_s, Qt::CaseInsensitive)
        || text.contains(u"connection to server"_s, Qt::CaseInsensitive)
        || text.contains(u"could not receive data"_s, Qt::CaseInsensitive)
        || text.contains(u"could not send data"_s, Qt::CaseInsensitive);
}

QString firstLine(QString text)
{
    text = text.trimmed();
    const qsizetype nl = text.indexOf(u'\n');
    return nl < 0 ? text : text.left(nl).trimmed();
}

// "违反唯一约束" etc. with the table, columns and (PostgreSQL) key values.
QString describeConstraint(const QSqlError &e, Backend backend)
{
    const QString text = e.databaseText() + u'\n' + e.driverText();
    if (backend == Backend::Postgres) {
        const QString code = e.nativeErrorCode();
        static const QRegularExpression keyRe(u"Key \\((.*)\\)=\\((.*)\\) (already exists|is not present in table \"([^\"]+)\"|is still referenced from table \"([^\"]+)\")"_s);
        static const QRegularExpression tableRe(u"(?:relation|table) \"([^\"]+)\""_s);
        static const QRegularExpression columnRe(u"column \"([^\"]+)\""_s);
        static const QRegularExpression constraintRe(u"constraint \"([^\"]+)\""_s);
        const auto km = keyRe.match(text);
        const auto tm = tableRe.match(text);
        const auto cm = constraintRe.match(text);
        const QString table = tm.hasMatch()   ? schema::tableCaption(tm.captured(1))
                              : cm.hasMatch() ? schema::tableCaptionOfConstraint(cm.captured(1))
                                              : u"数据库"_s;
        if (code == u"23505"_s) {
            if (km.hasMatch())
                return u"记录重复：%1中已有 %2 = %3 的记录"_s.arg(table, km.captured(1), km.captured(2));
            return u"记录重复：%1"_s.arg(firstLine(e.databaseText()));
        }
        if (code == u"23503"_s) {
            if (km.hasMatch() && !km.captured(4).isEmpty())
                return u"引用的记录不存在：%1 中没有 %2 = %3 的记录"_s.arg(
                    schema::tableCaption(km.captured(4)), km.captured(1), km.captured(2));
            if (km.hasMatch() && !km.captured(5).isEmpty())
                return u"记录仍被使用：%1 中仍有记录引用 %2 = %3"_s.arg(
                    schema::tableCaption(km.captured(5)), km.captured(1), km.captured(2));
            return u"违反引用约束：%1"_s.arg(firstLine(e.databaseText()));
        }
        if (code == u"23502"_s) {
            const auto cm = columnRe.match(text);
            return u"缺少必填的值：%1的“%2”不能为空"_s.arg(table, cm.hasMatch() ? cm.captured(1) : QString());
        }
        if (code == u"23514"_s) {
            static const QRegularExpression checkRe(u"check constraint \"([^\"]+)\""_s);
            const auto ck = checkRe.match(text);
            return u"数据不合规则：%1的记录不符合规则 %2"_s.arg(table, ck.hasMatch() ? ck.captured(1) : QString());
        }
        return u"违反数据库约束：%1"_s.arg(firstLine(e.databaseText()));
    }
    // SQLite names the table and columns but not the values.
    static const QRegularExpression sqliteRe(u"(UNIQUE|NOT NULL|CHECK|FOREIGN KEY) constraint failed(?:: ([^\\n]+))?"_s);
    const auto m = sqliteRe.match(text);
    if (m.hasMatch()) {
        const QString kind = m.captured(1);
        const QStringList cols = m.captured(2).split(u',', Qt::SkipEmptyParts);
        QString table;
        QStringList names;
        for (const QString &c : cols) {
            const QString t = c.trimmed();
            const qsizetype dot = t.indexOf(u'.');
            if (dot > 0) {
                table = t.left(dot);
                names.append(t.mid(dot + 1));
            } else {
                names.append(t);
            }
        }
        const QString caption = table.isEmpty() ? u"数据库"_s : schema::tableCaption(table);
        if (kind == u"UNIQUE"_s)
            return u"记录重复：%1中已有相同 %2 的记录"_s.arg(caption, names.join(u", "_s));
        if (kind == u"NOT NULL"_s)
            return u"缺少必填的值：%1的“%2”不能为空"_s.arg(caption, names.join(u", "_s));
        if (kind == u"FOREIGN KEY"_s)
            return u"引用的记录不存在或仍被其他记录使用（违反引用约束）"_s;
        return u"数据不合规则：%1"_s.arg(m.captured(2).trimmed());
    }
    return u"违反数据库约束：%1"_s.arg(firstLine(e.databaseText()));
}

bool isConstraint(const QSqlError &e, Backend backend)
{
    const QString code = e.nativeErrorCode();
    if (backend == Backend::Postgres)
        return code.startsWith(u"23"_s);
    bool ok = false;
    const int n = code.toInt(&ok);
    if (ok && (n & 0xff) == 19) // SQLITE_CONSTRAINT and its extended codes
        return true;
    return e.databaseText().contains(u"constraint failed"_s, Qt::CaseInsensitive);
}

bool isPgConflict(const QSqlError &e)
{
    const QString code = e.nativeErrorCode();
    return code == u"40001"_s || code == u"40P01"_s;
}

} // namespace dbdetail

} // namespace cg
