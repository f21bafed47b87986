#include "frmprintsheet.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/env.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/recordset.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "sheetprinter/sheetprinter.h"
#include "stationui/stationcontext.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

QString RouteSheetDateText(const QDate &date)
{
    const QString gap = u"\u3000\u3000"_s;
    return QString::number(date.year()) + gap + QString::number(date.month()) + gap + QString::number(date.day());
}

namespace {

// The trip date as the dispatch centre hands it over (the date picker's
// text) or in the stored form.
QDateTime parseBusDate(const QString &text)
{
    const QString t = text.trimmed();
    for (const QString &format : {u"yyyy-MM-dd"_s, u"yyyy/M/d"_s, u"yyyy-M-d"_s, u"yyyy年M月d日"_s}) {
        const QDate d = QDate::fromString(t, format);
        if (d.isValid())
            return QDateTime(d, QTime(0, 0));
    }
    const QDateTime dt = ParseDateTime(t);
    return dt.isValid() ? QDateTime(dt.date(), QTime(0, 0)) : QDateTime();
}

} // namespace

frmPrintSheet::frmPrintSheet(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmPrintSheet"_s);
    setWindowTitle(u"签发路单"_s);

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(u"lblMessage"_s);
    QFont big = lblMessage->font();
    big.setPointSize(12);
    big.setBold(true);
    lblMessage->setFont(big);
    lblMessage->setAlignment(Qt::AlignCenter);

    cmdYes = new QPushButton(u"是(&Y)"_s, this);
    cmdYes->setObjectName(u"cmdYes"_s);
    cmdYes->setDefault(true);
    cmdNo = new QPushButton(u"否(&N)"_s, this);
    cmdNo->setObjectName(u"cmdNo"_s);

    m_printer = new SheetPrinter(this);
    m_printer->setFileChooser(env.files);
    m_printer->setMinimumSize(560, 380);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdYes);
    buttons->addSpacing(24);
    buttons->addWidget(cmdNo);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage);
    layout->addWidget(m_printer, 1);
    layout->addLayout(buttons);

    connect(cmdYes, &QPushButton::clicked, this, &frmPrintSheet::cmdYes_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmPrintSheet::cmdNo_Click);
}

frmPrintSheet::~frmPrintSheet() = default;

QString frmPrintSheet::templatePath() const
{
    const QString name = m_SheetType == 0 ? u"csprint.xls"_s : u"csTechPrint.xls"_s;
    return QDir(m_env.dataDir).filePath(name);
}

// The first driver checked in for the trip (cancelled check-ins are not
// listed).
QString frmPrintSheet::tripDriverName(const QDateTime &busDate) const
{
    if (!m_station.db || !busDate.isValid())
        return {};
    CheckService service(*m_station.db, *m_env.clock);
    RecordSet rs = service.QueryTripDriverRecords(m_station.context, busDate, m_szBusID.trimmed(), NoDate(),
                                                  NoDate());
    if (rs.RecordCount() == 0)
        return {};
    rs.MoveFirst();
    return FieldValue(rs, u"driver_run_name"_s).toString();
}

void frmPrintSheet::prepareSheet()
{
    m_prepared = true;
    m_table.clear();
    if (m_SheetType == 0) {
        lblMessage->setText(u"本车次调度已通过,是否打印大路单?"_s);
        QString driver;
        Trap(*m_env.messages, [&] { driver = tripDriverName(parseBusDate(m_szBusDate)); });
        const QDate today = m_env.clock ? m_env.clock->now().date() : QDate::currentDate();
        m_table = {
            {u"车牌号"_s, m_szLicense},
            {u"发车时间"_s, m_szStartTime},
            {u"车次"_s, m_szBusID},
            {u"座位"_s, m_szSeatNum},
            {u"驾驶员"_s, driver},
            {u"起点站"_s, QString()},
            {u"终点站"_s, m_szEndStation},
            {u"年月日"_s, RouteSheetDateText(today)},
        };
    } else if (m_SheetType == 1) {
        lblMessage->setText(u"本车辆门检已通过,是否打印门检单?"_s);
        m_table = {
            {u"车牌号"_s, m_szLicense},
            {u"日期"_s, m_TechSheetTime},
            {u"状态"_s, m_szStatus ? u"合格"_s : u"不合格"_s},
            {u"不合格内容"_s, m_TechCause.trimmed()},
            {u"公司"_s, m_Company.trimmed()},
        };
    } else {
        return;
    }
    m_printer->setTemplateFile(templatePath());
    m_printer->LoadSheetData(m_table);
}

void frmPrintSheet::showEvent(QShowEvent *event)
{
    if (!m_prepared)
        prepareSheet();
    QDialog::showEvent(event);
}

void frmPrintSheet::PrintSheetReport()
{
    if (!m_prepared)
        prepareSheet();
    if (!m_printer->PrintSheet())
        qCWarning(lcSheetPrinter).noquote() << u"sheet of %1 %2 not printed"_s.arg(m_szBusID, m_szLicense);
}

void frmPrintSheet::cmdYes_Click()
{
    PrintSheetReport();
    accept();
}

void frmPrintSheet::cmdNo_Click()
{
    reject();
}

} // namespace cg
