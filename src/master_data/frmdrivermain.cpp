#include "frmdrivermain.h"

#include "frmdriver.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/sqlliteral.h"
#include "services/masterdata/driverservice.h"
#include "widgets/grid.h"
#include "widgets/messages.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

frmDriverMain::frmDriverMain(const Env &env, StationContext &station, QWidget *parent)
    : RegisterScreen(env, station, u"frmDriverMain"_s, u"驾驶员档案"_s, parent)
{
    txtDriverID = addFilterBox(u"驾驶员编号："_s, u"txtDriverID"_s, u"(输入驾驶员编号)"_s);
    txtDriverName = addFilterBox(u"驾驶员姓名："_s, u"txtDriverName"_s, u"(输入驾驶员姓名)"_s);
    addRegisterButtons();
    setKeyField(u"driver_no"_s);
    setupGrid({u"序"_s, u"编号"_s, u"姓名"_s, u"性别"_s, u"线路代码"_s, u"线路名称"_s, u"年审有效期"_s,
               u"安全学习有效期"_s, u"行车类别"_s});
}

frmDriverMain::~frmDriverMain() = default;

QString frmDriverMain::Fragment() const
{
    QString where = u"1=1"_s;
    if (const QString t = txtDriverID->filterText(); !t.isEmpty())
        where += FourWayMatch(u" AND ("_s, u"driver_no"_s, t);
    if (const QString n = txtDriverName->filterText(); !n.isEmpty())
        where += FourWayMatch(u" AND ("_s, u"driver_name"_s, n);
    return where;
}

void frmDriverMain::cmdQuery_Click()
{
    const QString where = Fragment();
    runListQuery([&] {
        DriverService drivers(*m_station.db, *m_env.clock);
        return drivers.QueryDriverList(m_station.context, where, u" driver_id "_s);
    });
    // The next query lists every driver unless the filters are typed again.
    txtDriverID->resetToPlaceholder();
    txtDriverName->resetToPlaceholder();
}

void frmDriverMain::writeRow(int r, const RecordSet &rs)
{
    const auto text = [&](const QString &field) {
        const QVariant v = FieldValue(rs, field);
        if (!v.isValid())
            return QString();
        if (v.metaType().id() == QMetaType::QDateTime) {
            const QDateTime d = v.toDateTime();
            return IsEmptyDate(d) ? QString() : d.toString(u"yyyy-MM-dd"_s);
        }
        return v.toString();
    };
    const QStringList fields{u"driver_no"_s, u"driver_name"_s, u"sex"_s, u"route_id"_s, u"route_name"_s,
                             u"year_check_month"_s, u"safe_study_end_date"_s, u"drive_type"_s};
    for (int c = 0; c < fields.size(); ++c)
        vsList->setTextMatrix(r, c + 1, text(fields.at(c)));
}

RecordSet frmDriverMain::lookupRecord(const QString &key, Lookup kind)
{
    DriverService drivers(*m_station.db, *m_env.clock);
    // A new driver is looked up by his list number, an edited one by his
    // record number: the same value under its two names.
    const QString field = kind == Lookup::Added ? u" driver_no = "_s : u" driver_id = "_s;
    return drivers.QueryDrivers(m_station.context, field + SqlLiteral(key), QString());
}

bool frmDriverMain::deleteRecord(const QString &key, QString *reason)
{
    DriverService drivers(*m_station.db, *m_env.clock);
    return drivers.DeleteDriver(m_station.context, key, reason);
}

RecordScreen *frmDriverMain::makeRecordScreen()
{
    return new frmDriver(m_env, m_station, this);
}

frmDriver *frmDriverMain::recordScreen() const
{
    return qobject_cast<frmDriver *>(record());
}

} // namespace cg
