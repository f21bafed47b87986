#include "frmprintsheet.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/env.h"
#include "widgets/filechooser.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/recordset.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"
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
    return DayOf(ParseDateTime(t));
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
            {u"起点站"_s, startStation()},
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

// The trip leaves from this workstation's station.
QString frmPrintSheet::startStation() const
{
    QString name;
    if (m_station.session)
        Trap(*m_env.messages, [&] { name = m_station.session->GetUnitName().trimmed(); });
    return name;
}

void frmPrintSheet::cmdYes_Click()
{
    if (!m_prepared)
        prepareSheet();
    if (!m_printer->isLoaded()) {
        const QString sheet = m_SheetType == 0 ? u"路单"_s : u"门检单"_s;
        ReportError(*m_env.messages, AppError(53, u"无法读取%1模板 %2，%1没有打印。"_s.arg(
                                                      sheet, QDir::toNativeSeparators(templatePath()))));
    } else if (!m_printer->hasPrinter())
        offerPdf(u"本机没有可用的打印机，%1没有打印。"_s);
    else if (!m_printer->PrintSheet())
        offerPdf(u"打印机没有打印%1。"_s);
    accept();
}

void frmPrintSheet::offerPdf(const QString &why)
{
    const QString sheet = m_SheetType == 0 ? u"路单"_s : u"门检单"_s;
    if (!m_env.messages)
        return;
    const MsgAnswer answer = m_env.messages->show(
        {u"问题"_s, why.arg(sheet) + u"\n是否把%1保存为 PDF 文件？"_s.arg(sheet), MsgIcon::Question, MsgButtons::YesNo},
        this);
    if (answer != MsgAnswer::Yes || !m_env.files)
        return;
    const QString path = m_env.files->saveFileName(this, u"%1保存为 PDF"_s.arg(sheet), u"PDF 文件 (*.pdf)"_s);
    if (path.isEmpty())
        return;
    if (!m_printer->renderToPdf(path)) {
        ReportError(*m_env.messages, AppError(75, u"无法写入文件 %1"_s.arg(QDir::toNativeSeparators(path))));
        return;
    }
    ShowNotice(*m_env.messages, u"%1已保存为 %2"_s.arg(sheet, QDir::toNativeSeparators(path)));
}

void frmPrintSheet::cmdNo_Click()
{
    reject();
}

} // namespace cg
