#include "periodquery.h"

#include "widgets/listexport.h"
#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/recordset.h"
#include "services/checks/checkservice.h"
#include "services/reports/reportservice.h"
#include "widgets/buttons.h"
#include "widgets/grid.h"
#include "widgets/formfields.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "stationui/listquery.h"

#include <QDateEdit>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Twips to pixels at the screens' 96 dpi.
constexpr int twips(int t) { return t / 15; }

QString dayText(const QVariant &v)
{
    const QDateTime d = v.toDateTime();
    return !v.isValid() || IsEmptyDate(d) ? QString() : d.toString(u"yyyy-MM-dd"_s);
}

// Times are shown on the 24-hour clock.
QString timeText(const QVariant &v)
{
    const QDateTime d = v.toDateTime();
    return !v.isValid() || IsEmptyDate(d) ? QString() : d.toString(u"yyyy年MM月dd日 HH:mm:ss"_s);
}

} // namespace

PeriodQuery::PeriodQuery(const Env &env, StationContext &station, const QString &formName, const QString &caption,
                         const QStringList &headings, const QString &progressText, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station), m_progressText(progressText)
{
    setObjectName(formName);
    setWindowTitle(caption);
    resize(820, 520);

    ptTop = new QFrame(this);
    ptTop->setObjectName(u"ptTop"_s);
    ptTop->setFixedHeight(twips(900));
    ptTop->setStyleSheet(u"QFrame#ptTop { background: #3A6EA5; }"_s);
    fraMenu = new QFrame(ptTop);
    fraMenu->setObjectName(u"fraMenu"_s);
    fraMenu->setStyleSheet(u"QFrame#fraMenu { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
                           u"stop:0 #3A6EA5, stop:1 #A9C8EA); border-radius: 3px; }"_s);
    fraMenu->setGeometry(twips(180), twips(270), 420, twips(360));
    auto *heading = new QLabel(caption, fraMenu);
    heading->setObjectName(u"lblCaption"_s);
    heading->setStyleSheet(u"QLabel { color: white; font-weight: bold; }"_s);
    heading->move(10, 2);
    ptTop->installEventFilter(this);

    auto *ptMain = new QFrame(this);
    ptMain->setObjectName(u"ptMain"_s);
    ptMain->setFrameShape(QFrame::StyledPanel);
    ptMain->setStyleSheet(u"QFrame#ptMain { background: #EAF1F8; border: 1px solid #7F9DB9; }"_s);

    dtpStartDate = DatePicker(u"dtpStartDate"_s, ptMain);
    dtpEndDate = DatePicker(u"dtpEndDate"_s, ptMain);
    QPushButton *cmdQuery = PlainButton(ptMain, u"cmdQuery"_s, u"查询(&Q)"_s);
    vsList = new FlexGrid(ptMain);
    vsList->setObjectName(u"vsList"_s);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(u"开始日期:"_s, ptMain));
    bar->addWidget(dtpStartDate);
    bar->addSpacing(12);
    bar->addWidget(new QLabel(u"结束日期:"_s, ptMain));
    bar->addWidget(dtpEndDate);
    bar->addSpacing(12);
    bar->addWidget(cmdQuery);
    bar->addStretch(1);
    auto *inner = new QVBoxLayout(ptMain);
    inner->setContentsMargins(12, 10, 12, 12);
    inner->addLayout(bar);
    inner->addWidget(vsList, 1);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(ptTop);
    outer->addWidget(ptMain, 1);

    connect(cmdQuery, &QPushButton::clicked, this, &PeriodQuery::cmdQuery_Click);

    // Load: the grid's headings, every column centred, and the current
    // month as the range. Nothing is queried yet.
    ResetGridSize(vsList, 1, int(headings.size()));
    for (int c = 0; c < headings.size(); ++c)
        vsList->setTextMatrix(0, c, headings.at(c));
    vsList->setAllCentered();
    const QDateTime now = m_env.clock ? m_env.clock->now() : QDateTime::currentDateTime();
    dtpStartDate->setDate(FirstDayOfMonth(now).date());
    dtpEndDate->setDate(LastDayOfMonth(now).date());

    AttachGridReport(this, m_env, vsList, {0}); // the running numbers are numbers
}

PeriodQuery::~PeriodQuery() = default;

void PeriodQuery::cmdQuery_Click()
{
    RunListQuery(m_env, [this] {
        // The start may lie after the end: the query goes as picked and
        // simply finds nothing.
        RecordSet records = fetch(dtpStartDate->date(), dtpEndDate->date());
        vsList->setRows(1);
        int n = 0;
        for (records.MoveFirst(); !records.isEOF(); records.MoveNext()) {
            ++n;
            vsList->addRow(QStringList{QString::number(n)} + cells(records));
        }
        vsList->autoSize(0, vsList->cols() - 1);
        return records.RecordCount();
    }, m_progressText);
}

bool PeriodQuery::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ptTop && event->type() == QEvent::Resize)
        placeMenuBar();
    return QWidget::eventFilter(watched, event);
}

// The decorative bar keeps its design width at the band's right end, 180
// twips from the edge; a band too narrow for it narrows the bar instead.
void PeriodQuery::placeMenuBar()
{
    if (m_menuDesignWidth < 0)
        m_menuDesignWidth = fraMenu->width();
    const int band = ptTop->width();
    const int margin = twips(180);
    if (band > m_menuDesignWidth + 2 * margin)
        fraMenu->setGeometry(band - margin - m_menuDesignWidth, twips(270), m_menuDesignWidth, fraMenu->height());
    else
        fraMenu->setGeometry(margin, twips(270), qMax(0, band - 2 * margin), fraMenu->height());
}

// ---- frmDriverBus -----------------------------------------------------------

frmDriverBus::frmDriverBus(const Env &env, StationContext &station, QWidget *parent)
    : PeriodQuery(env, station, u"frmDriverBus"_s, u"驾驶员报班信息查询"_s,
                  {u"序"_s, u"车次日期"_s, u"车次代码"_s, u"驾驶员姓名"_s, u"报班时间"_s, u"是否已失效"_s},
                  u"正在查询相关报班信息，请稍等..."_s, parent)
{
}

RecordSet frmDriverBus::fetch(const QDate &from, const QDate &to)
{
    if (!m_station.db)
        throw AppError(errnum::InvalidArgument, u"没有连接数据库"_s);
    const SystemClock systemClock;
    const Clock &clock = m_env.clock ? *m_env.clock : static_cast<const Clock &>(systemClock);
    CheckService service(*m_station.db, clock);
    return service.QueryTripDriverRecords(m_station.context, NoDate(), QString(), QDateTime(from, QTime(0, 0)),
                                          QDateTime(to, QTime(0, 0)));
}

QStringList frmDriverBus::cells(const RecordSet &rs)
{
    // Only a check-in marked valid (1) is in force; 0 or nothing has lapsed.
    const QVariant valid = FieldValue(rs, u"is_driver"_s);
    return {dayText(FieldValue(rs, u"bus_date"_s)), FieldValue(rs, u"bus_id"_s).toString(),
            FieldValue(rs, u"driver_run_name"_s).toString(), timeText(FieldValue(rs, u"driver_report_time"_s)),
            valid.isValid() && valid.toInt() == 1 ? u"否"_s : u"是"_s};
}

// ---- frmBusForeInfo ---------------------------------------------------------

frmBusForeInfo::frmBusForeInfo(const Env &env, StationContext &station, QWidget *parent)
    : PeriodQuery(env, station, u"frmBusForeInfo"_s, u"强制信息查询"_s,
                  {u"序"_s, u"车次日期"_s, u"车次代码"_s, u"车牌号"_s, u"放行类型"_s, u"操作者"_s, u"操作时间"_s,
                   u"原因"_s},
                  u"正在查询相关车次，请稍等..."_s, parent)
{
}

QString frmBusForeInfo::passTypeText(const QVariant &passType)
{
    bool ok = false;
    const int type = passType.toInt(&ok);
    if (!passType.isValid() || !ok)
        return {};
    switch (type) {
    case 1: return u"车容门检"_s;
    case 2: return u"车容车况"_s;
    case 3: return u"驾驶员"_s;
    default: return {};
    }
}

RecordSet frmBusForeInfo::fetch(const QDate &from, const QDate &to)
{
    if (!m_station.db)
        throw AppError(errnum::InvalidArgument, u"没有连接数据库"_s);
    ReportService service(*m_station.db);
    int reserved = 0;
    return service.QueryForcedReleases(m_station.context, QDateTime(from, QTime(0, 0)), QDateTime(to, QTime(0, 0)),
                                       QVariant(), reserved);
}

QStringList frmBusForeInfo::cells(const RecordSet &rs)
{
    return {dayText(FieldValue(rs, u"bus_date"_s)), FieldValue(rs, u"bus_id"_s).toString(),
            FieldValue(rs, u"license_id"_s).toString(), passTypeText(FieldValue(rs, u"pass_type"_s)),
            FieldValue(rs, u"operator"_s).toString(), timeText(FieldValue(rs, u"operate_time"_s)),
            FieldValue(rs, u"cause"_s).toString()};
}

} // namespace cg
