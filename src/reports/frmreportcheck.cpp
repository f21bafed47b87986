#include "frmreportcheck.h"
#include "stationui/titledwindow.h"

#include "periodchart.h"
#include "periodquery.h"

#include "core/apperror.h"
#include "core/array2d.h"
#include "core/clock.h"
#include "services/reports/reportservice.h"
#include "services/station/coreservices.h"
#include "sheetprinter/sheetprinter.h"
#include "widgets/buttons.h"
#include "widgets/formfields.h"
#include "widgets/filechooser.h"
#include "widgets/listexport.h"
#include "widgets/messages.h"
#include "widgets/sound.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

constexpr int PrinterError = 482; // the printer did not print
constexpr int TemplateError = 53; // the report's template is missing

// The report title's band: 1200 twips at 96 dpi.
constexpr int TitleHeight = 1200 / 15;

// The small arrow that brings the hidden query pane back.
QPixmap openArrow()
{
    QPixmap pm(18, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x3A, 0x6E, 0xA5));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, 18, 48), 4, 4);
    p.setBrush(Qt::white);
    const QPointF arrow[] = {{6, 16}, {13, 24}, {6, 32}};
    p.drawPolygon(arrow, 3);
    return pm;
}

} // namespace

QString frmReportCheck::reportName(int index)
{
    return index == 1 ? u"车次出站统计报表"_s : u"车况例检统计报表"_s;
}

QString frmReportCheck::templateName(int index)
{
    return reportName(index) + u".xls"_s;
}

frmReportCheck::frmReportCheck(const Env &env, StationContext &station, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmReportCheck"_s);
    setWindowTitle(u"车次检票报表"_s);
    resize(980, 640);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(u"splitter"_s);
    ptQuery = new QWidget(splitter);
    ptQuery->setObjectName(u"ptQuery"_s);
    auto *ptResult = new QWidget(splitter);
    ptResult->setObjectName(u"ptResult"_s);
    splitter->addWidget(ptQuery);
    splitter->addWidget(ptResult);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    // Query pane.
    FlatLabel1 = new QLabel(u"查询条件设定"_s, ptQuery);
    FlatLabel1->setObjectName(u"FlatLabel1"_s);
    FlatLabel1->setStyleSheet(u"QLabel { background: #3A6EA5; color: white; font-weight: bold; padding: 4px; }"_s);
    flbClose = new QLabel(u"×"_s, FlatLabel1);
    flbClose->setObjectName(u"flbClose"_s);
    flbClose->setToolTip(u"隐藏查询条件"_s);
    flbClose->setStyleSheet(u"QLabel { color: white; font-weight: bold; background: transparent; }"_s);
    flbClose->setCursor(Qt::PointingHandCursor);
    flbClose->installEventFilter(this);
    FlatLabel1->installEventFilter(this);
    cboType = new QComboBox(ptQuery);
    cboType->setObjectName(u"cboType"_s);
    dtpStartDate = DatePicker(u"dtpStartDate"_s, ptQuery);
    dtpEndDate = DatePicker(u"dtpEndDate"_s, ptQuery);
    txtVehicle = new QLineEdit(ptQuery);
    txtVehicle->setObjectName(u"txtVehicle"_s);
    txtVehicle->installEventFilter(this);
    QPushButton *Command1 = PlainButton(ptQuery, u"Command1"_s, u"查询(&Q)"_s);
    QPushButton *Command2 = PlainButton(ptQuery, u"Command2"_s, u"关闭(&C)"_s);

    auto *form = new QGridLayout;
    AddCaptionedFields(form, ptQuery,
                       {{u"报表类型:"_s, cboType},
                        {u"开始日期:"_s, dtpStartDate},
                        {u"结束日期:"_s, dtpEndDate},
                        {u"车牌号:"_s, txtVehicle}});
    auto *queryLayout = new QVBoxLayout(ptQuery);
    queryLayout->setContentsMargins(0, 0, 0, 0);
    queryLayout->addWidget(FlatLabel1);
    auto *inner = new QVBoxLayout;
    inner->setContentsMargins(8, 8, 8, 8);
    inner->addLayout(form);
    inner->addLayout(RightAlignedRow({Command1, Command2}));
    inner->addStretch(1);
    queryLayout->addLayout(inner, 1);

    // Result pane: the title band, the period chart and the sheet.
    lblTitle = LargeLabel(ptResult, u"lblTitle"_s, QString(), 18, true);
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setFixedHeight(TitleHeight);
    chtPeriod = new PeriodChart(ptResult);
    chtPeriod->setFixedHeight(190);
    sheet = new SheetPrinter(ptResult);
    static DialogFileChooser dialogs;
    sheet->setFileChooser(m_env.files ? m_env.files : &dialogs);
    imgOpen = new QLabel(ptResult);
    imgOpen->setObjectName(u"imgOpen"_s);
    imgOpen->setPixmap(openArrow());
    imgOpen->setToolTip(u"显示查询条件"_s);
    imgOpen->setCursor(Qt::PointingHandCursor);
    imgOpen->installEventFilter(this);
    imgOpen->move(2, TitleHeight + 4);
    imgOpen->hide();
    auto *resultLayout = new QVBoxLayout(ptResult);
    resultLayout->setContentsMargins(0, 0, 0, 0);
    resultLayout->setSpacing(4);
    resultLayout->addWidget(lblTitle);
    resultLayout->addWidget(chtPeriod);
    resultLayout->addWidget(sheet, 1);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(splitter);
    splitter->setSizes({260, 720});

    connect(cboType, &QComboBox::currentIndexChanged, this, &frmReportCheck::cboType_Click);
    connect(Command1, &QPushButton::clicked, this, &frmReportCheck::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QWidget::close);

    // Load: both pickers today, an empty plate, report 0 selected.
    const QDate today = m_env.clock ? m_env.clock->today() : QDate::currentDate();
    dtpStartDate->setDate(today);
    dtpEndDate->setDate(today);
    txtVehicle->clear();
    cboType->addItems({reportName(0), reportName(1)});
    cboType->setCurrentIndex(0);
    cboType_Click();
}

void frmReportCheck::status(const QString &text, int panel)
{
    if (m_env.status)
        m_env.status->SetStatusText(text, panel);
}

void frmReportCheck::cboType_Click()
{
    lblTitle->setText(cboType->currentText());
}

void frmReportCheck::Command1_Click()
{
    Fill(20);
}

void frmReportCheck::flbClose_Click()
{
    ptQuery->hide();
    imgOpen->show();
    imgOpen->raise();
}

void frmReportCheck::imgOpen_Click()
{
    ptQuery->show();
    imgOpen->hide();
}

bool frmReportCheck::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == flbClose) {
            flbClose_Click();
            return true;
        }
        if (watched == imgOpen) {
            imgOpen_Click();
            return true;
        }
    }
    if (watched == FlatLabel1 && event->type() == QEvent::Resize) {
        // The close mark sits at the title's right end.
        flbClose->adjustSize();
        flbClose->move(FlatLabel1->width() - flbClose->width() - 30 / 15 - 4,
                       (FlatLabel1->height() - flbClose->height()) / 2);
    }
    if (watched == txtVehicle && event->type() == QEvent::FocusOut) {
        // A plate with a quote cannot be left until it is corrected.
        const QString text = txtVehicle->text();
        if (m_env.messages && !CheckNoQuotes(*m_env.messages, text, text))
            QTimer::singleShot(0, txtVehicle, [box = txtVehicle] { box->setFocus(Qt::OtherFocusReason); });
    }
    return QWidget::eventFilter(watched, event);
}

void frmReportCheck::Fill(int)
{
    const QString plate = txtVehicle->text().trimmed();
    // The query path checks the plate too: 查询 may run without the box
    // ever losing the focus (Alt+Q, the Enter key).
    if (m_env.messages && !CheckNoQuotes(*m_env.messages, plate, plate)) {
        txtVehicle->setFocus(Qt::OtherFocusReason);
        return;
    }
    const int type = cboType->currentIndex() == 1 ? 1 : 0;
    const QString name = reportName(type);
    try {
        status(QString(), 1);
        if (!m_station.db || !m_station.session)
            throw AppError(errnum::InvalidArgument, u"没有连接数据库"_s);
        const QString templatePath = QDir(m_env.dataDir).filePath(templateName(type));
        if (!QFileInfo(templatePath).isReadable())
            throw AppError(TemplateError, u"找不到报表模板 %1"_s.arg(QDir::toNativeSeparators(templatePath)));

        const QDate start = dtpStartDate->date();
        const QDate end = dtpEndDate->date();
        const QDateTime from(start, QTime(0, 0));
        ReportService service(*m_station.db);
        const QString unit = m_station.session->GetUnitName();
        const QString operatorName = m_station.session->GetOperatorName();
        const QDate today = m_env.clock ? m_env.clock->today() : QDate::currentDate();

        Array2D table(6, 2);
        table.set(1, 1, u"统计单位"_s);
        table.set(1, 2, unit);
        table.set(2, 1, u"统计时间"_s);
        table.set(2, 2, start.toString(u"yyyy-MM-dd"_s) + u" 至 "_s + end.toString(u"yyyy-MM-dd"_s));
        table.set(3, 1, u"填表人"_s);
        table.set(3, 2, operatorName);
        table.set(4, 1, u"填表日期"_s);
        table.set(4, 2, today.toString(u"yyyy-MM-dd"_s));
        RecordSet records;
        if (type == 0) {
            // Check days [start, end + 1): the end day counts whole.
            const QDateTime to(end.addDays(1), QTime(0, 0));
            const QString passed = service.GetConditionPassTotal(m_station.context, from, to, plate);
            const QString failed = service.GetConditionFailTotal(m_station.context, from, to, plate);
            records = service.QueryConditionCheckStatistics(m_station.context, from, to, plate);
            table.set(5, 1, u"合格合计"_s);
            table.set(5, 2, passed);
            table.set(6, 1, u"不合格合计"_s);
            table.set(6, 2, failed);
        } else {
            // Trip dates from start to end, both included.
            records = service.QueryDepartureStatistics(m_station.context, from, QDateTime(end, QTime(0, 0)), plate);
            table.set(5, 1, u"统计"_s);
            table.set(5, 2, QString::number(records.RecordCount()));
            table.set(6, 1, QString());
            table.set(6, 2, QString());
        }
        const RecordSet daily = service.QueryDailyStatistics(m_station.context, start, end, plate);

        // Everything is fetched: only now do the caption, the template and
        // the sheet change, so a failed query leaves the last report whole.
        setWindowTitle(name);
        sheet->setTemplateFile(templatePath);
        if (!sheet->LoadSheetData(table, &records))
            throw AppError(TemplateError, u"无法读取报表模板 %1"_s.arg(QDir::toNativeSeparators(templatePath)));
        m_count = records.RecordCount();
        chtPeriod->setFigures(PeriodChart::FiguresOf(daily));
        status(QString(), 1);
        status(u"共有%1条记录"_s.arg(m_count), 2);
    } catch (const std::exception &e) { // a trap could not put the last report's title back
        // The sheet shown is still the last report: so is its title.
        if (sheet->isLoaded())
            lblTitle->setText(windowTitle());
        status(QString(), 1);
        if (m_env.messages)
            ReportError(*m_env.messages, e);
    }
}

bool frmReportCheck::requireSheet()
{
    if (sheet->isLoaded())
        return true;
    if (m_env.messages)
        ShowNotice(*m_env.messages, u"还没有报表，请先查询。"_s);
    return false;
}

void frmReportCheck::PrintReport(bool pbShowDialog)
{
    if (!requireSheet())
        return;
    if (!sheet->PrintSheet(pbShowDialog) && m_env.messages)
        ReportError(*m_env.messages,
                    AppError(PrinterError, u"报表没有打印：打印机不可用、出错或打印已取消。"_s));
}

void frmReportCheck::PreView()
{
    if (!requireSheet())
        return;
    sheet->PreviewSheet();
}

QString frmReportCheck::exportSheet()
{
    if (!requireSheet())
        return {};
    const QString path = sheet->RunSheetCommand(1);
    if (path.isEmpty() && !sheet->lastError().isEmpty() && m_env.messages)
        ReportError(*m_env.messages, AppError(ExportWriteError, u"报表导出失败：%1"_s.arg(sheet->lastError())));
    return path;
}

void frmReportCheck::ExportFile()
{
    exportSheet();
}

void frmReportCheck::ExportFileOpen()
{
    const QString path = exportSheet();
    if (path.isEmpty())
        return;
    if (m_env.shell) {
        OpenWithShell(*m_env.shell, path);
    } else {
        DesktopShellOpener shell;
        OpenWithShell(shell, path);
    }
}

} // namespace cg
