#include "schema.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace cg::schema {

namespace {

// Version 1: the whole station schema.
QStringList version1()
{
    return {
        // ------------------------------------------------------------ station
        // Operators of the station's workstations; a session is opened for one.
        uR"(CREATE TABLE operators (
            operator_code {TEXT} PRIMARY KEY,
            operator_name {TEXT} NOT NULL,
            station_code {TEXT} NOT NULL,
            unit_code {TEXT} NOT NULL,
            unit_name {TEXT} NOT NULL DEFAULT '',
            password_hash {TEXT}
        ))"_s,
        // System parameters 1..15 by index, stored as text.
        uR"(CREATE TABLE sys_params (
            param_index {INT} PRIMARY KEY CHECK (param_index BETWEEN 1 AND 15),
            param_value {TEXT}
        ))"_s,
        // Small code tables: kind 3 licence classes, 4 driver types,
        // 5 vehicle types, 8 basic causes, 9 check causes / check items.
        uR"(CREATE TABLE code_items (
            code {ID},
            kind {INT} NOT NULL,
            name {TEXT} NOT NULL,
            remark {TEXT} NOT NULL DEFAULT '',
            UNIQUE (kind, name)
        ))"_s,
        // Transport companies (vehicle owners' companies).
        uR"(CREATE TABLE companies (
            company_code {TEXT} PRIMARY KEY,
            company_name {TEXT} NOT NULL,
            short_name {TEXT} NOT NULL DEFAULT ''
        ))"_s,

        // ------------------------------------------------------ check events
        // The outbox of check events: written in the transaction of the result
        // it reports, read by every workstation past its last delivered id.
        uR"(CREATE TABLE check_events (
            id {ID},
            station_code {TEXT} NOT NULL,
            event {TEXT} NOT NULL,
            bus_id {TEXT},
            bus_date {DATETIME},
            license {TEXT},
            lamp {INT},
            check_count {INT},
            check_time {DATETIME},
            checker {TEXT},
            new_license {TEXT},
            new_company {TEXT},
            created_at {DATETIME} NOT NULL DEFAULT {NOW}
        ))"_s,
        u"CREATE INDEX check_events_created ON check_events (created_at)"_s,
    };
}

} // namespace

const QList<Migration> &migrations()
{
    static const QList<Migration> all = {
        {1, u"车站安检数据库"_s, version1()},
    };
    return all;
}

int latestVersion()
{
    return migrations().isEmpty() ? 0 : migrations().last().version;
}

QString tableCaption(const QString &table)
{
    static const QHash<QString, QString> captions = {
        {u"operators"_s, u"操作员"_s},
        {u"sys_params"_s, u"系统参数"_s},
        {u"code_items"_s, u"代码表"_s},
        {u"companies"_s, u"参运公司"_s},
        {u"check_events"_s, u"检查通知"_s},
        {u"schema_version"_s, u"数据库版本"_s},
    };
    return captions.value(table.toLower(), table);
}

} // namespace cg::schema
