#include "frmcondcheckitem.h"

#include "core/clock.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "checkhelpers.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "stationui/titledwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
const QString kPlaceholder = u"(常用不合格原因)"_s;
const QString kListHead = u"不合格条目:"_s;
const QString kPassed = u"√"_s;
const QString kFailed = u"×"_s;
constexpr int kItemKind = 9;
constexpr int kRemarkBytes = 255;
} // namespace

frmCondCheckItem::frmCondCheckItem(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station), m_checks(std::make_unique<CheckService>(*station.db, *env.clock))
{
    QVBoxLayout *layout = BeginTitledWindow(this, u"frmCondCheckItem"_s, u"车况检验"_s, QSize(640, 560));
    for (int i = 0; i < 3; ++i)
        layout->addWidget(StationLine(m_station.lineColour));

    auto *header = new QGridLayout;
    lblLicenseID = AddCaptionedLabel(this, header, 0, 0, u"车牌号:"_s, u"lblLicenseID"_s);
    lblCompany = AddCaptionedLabel(this, header, 0, 2, u"车属公司:"_s, u"lblCompany"_s);
    lblBuskind = AddCaptionedLabel(this, header, 1, 0, u"车型:"_s, u"lblBuskind"_s);
    lblStatus = LargeLabel(nullptr, u"lblStatus"_s, u"●"_s, 20);
    header->addWidget(lblStatus, 0, 4, 2, 1);
    layout->addLayout(header);

    vsList = AddListGrid(layout);

    layout->addWidget(new QLabel(u"请在下框中输入车辆检查备注信息："_s));
    auto *causeRow = new QHBoxLayout;
    txtCheckCause = new QPlainTextEdit;
    txtCheckCause->setObjectName(u"txtCheckCause"_s);
    txtCheckCause->setFixedHeight(70);
    causeRow->addWidget(txtCheckCause, 1);
    cboCause = new QComboBox;
    cboCause->setObjectName(u"cboCause"_s);
    cboCause->setEditable(true);
    cboCause->setMinimumWidth(170);
    causeRow->addWidget(cboCause, 0, Qt::AlignTop);
    layout->addLayout(causeRow);

    auto *bottom = new QHBoxLayout;
    QDateEdit *dtpDate = nullptr;
    QTimeEdit *dtpTime = nullptr;
    AddReadOnlyDateTime(bottom, u"检查时间:"_s, &dtpDate, &dtpTime);
    bottom->addSpacing(12);
    bottom->addWidget(new QLabel(u"快捷说明:[F4]合格 [F5]不合格"_s));
    bottom->addStretch();
    QToolButton *cmdPass = nullptr, *cmdNotPass = nullptr;
    AddVerdictButtons(this, bottom, &cmdPass, &cmdNotPass);
    layout->addLayout(bottom);

    ResetGridSize(vsList, 1, 4);
    vsList->setAllCentered();
    const QStringList captions = {u"编号"_s, u"名称"_s, u"合格"_s, u"描述"_s};
    for (int c = 0; c < captions.size(); ++c)
        vsList->setTextMatrix(0, c, captions.at(c));
    const QDateTime now = m_env.clock->now();
    dtpDate->setDate(now.date());
    dtpTime->setTime(now.time());
    cboCause->addItem(kPlaceholder);
    cboCause->setCurrentIndex(0);

    connect(vsList, &QTableWidget::cellClicked, this, &frmCondCheckItem::vsList_Click);
    connect(cboCause, &QComboBox::currentTextChanged, this, &frmCondCheckItem::cboCause_Change);
    BindByteLimit(txtCheckCause, kRemarkBytes);
    connect(cmdPass, &QToolButton::clicked, this, [this] { verdict(true); });
    connect(cmdNotPass, &QToolButton::clicked, this, &frmCondCheckItem::cmdNotPass_Click);
    new FormKeys(this, {{Qt::Key_F4, [this] { verdict(true); }}, {Qt::Key_F5, [this] { cmdNotPass_Click(); }}});
}

frmCondCheckItem::~frmCondCheckItem() = default;

void frmCondCheckItem::Form_Load()
{
    DefinitionService definitions(*m_station.db);
    const RecordSet items = definitions.QueryCheckItems(m_station.context, kItemKind);
    vsList->setRows(1);
    for (int r = 0; r < items.RecordCount(); ++r)
        vsList->addRow({QString::number(r + 1), items.valueAt(r, u"name"_s).toString(), kPassed,
                        items.valueAt(r, u"Memo"_s).toString()});
    vsList->autoSize(0, vsList->cols() - 1);
    txtCheckCause->clear();
    m_loaded = true;
}

void frmCondCheckItem::setVehicle(const QString &plate, const QString &company, const QString &model,
                                  int condStatus)
{
    lblLicenseID->setText(plate);
    lblCompany->setText(company);
    lblBuskind->setText(model);
    SetLampLabel(lblStatus, condStatus);
}

void frmCondCheckItem::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded)
        Trap(*m_env.messages, [this] { Form_Load(); });
}

QString frmCondCheckItem::RemarkAfterMark(const QString &remark, const QString &name, bool failed)
{
    QString t = remark;
    if (name.isEmpty())
        return t;
    if (failed) {
        if (!t.contains(name))
            t = t.isEmpty() ? kListHead + name : t + u","_s + name;
        return t;
    }
    const qsizetype g = t.indexOf(name); // 0-based; the item must not start the text
    if (t.isEmpty() || g < 1)
        return t;
    const QChar before = t.at(g - 1);
    const qsizetype after = g + name.size();
    if (before == u',') {
        t.remove(u","_s + name);
    } else if (before == u':') {
        if (after >= t.size())
            t.clear();
        else if (t.at(after) == u',')
            t.remove(name + u","_s);
        else
            t = t.mid(after + 1);
    }
    return t;
}

void frmCondCheckItem::vsList_Click(int row, int col)
{
    if (row < vsList->fixedRows() || col != 2)
        return;
    const QString mark = vsList->textMatrix(row, 2);
    if (mark != kPassed && mark != kFailed)
        return;
    const bool failed = mark == kPassed;
    vsList->setTextMatrix(row, 2, failed ? kFailed : kPassed);
    txtCheckCause->setPlainText(RemarkAfterMark(txtCheckCause->toPlainText(), vsList->textMatrix(row, 1), failed));
}

void frmCondCheckItem::cboCause_Change(const QString &text)
{
    if (text == kPlaceholder)
        txtCheckCause->clear();
    else
        txtCheckCause->setPlainText(text);
}

void frmCondCheckItem::cmdNotPass_Click()
{
    if (txtCheckCause->toPlainText().isEmpty()) {
        m_env.messages->show({QApplication::applicationDisplayName(), u"请先选择不合格条目"_s,
                              MsgIcon::Information, MsgButtons::Ok},
                             this);
        return;
    }
    verdict(false);
}

void frmCondCheckItem::verdict(bool passed)
{
    Trap(*m_env.messages, [&] {
        if (m_env.messages->show({u"车况门检"_s, u"您确认本次操作吗？"_s, MsgIcon::Question, MsgButtons::YesNo}, this)
            != MsgAnswer::Yes)
            return;
        const QString remark = txtCheckCause->toPlainText().trimmed();
        const QString sent = remark.isEmpty() ? u"无"_s : remark;
        const QDateTime now = m_env.clock->now();
        const QString checker = m_station.session->GetOperatorName();
        const QString message =
            (m_nCount < 1 ? m_checks->AddConditionCheckResult(m_station.context, m_szLicense, now, passed, checker,
                                                              sent)
                          : m_checks->UpdateConditionCheckResult(m_station.context, m_szLicense, now, passed,
                                                                 checker, sent))
                .trimmed();
        if (!message.isEmpty()) {
            m_env.messages->notify(message, this);
        } else if (passed && m_station.params.TechPrint && m_station.openForm) {
            m_station.openForm(this, u"frmPrintSheet"_s,
                               {{u"m_SheetType"_s, 1},
                                {u"m_szLicense"_s, lblLicenseID->text().trimmed()},
                                {u"m_Company"_s, lblCompany->text().trimmed()},
                                {u"m_szStatus"_s, true},
                                {u"m_TechCause"_s, remark},
                                {u"m_TechSheetTime"_s, now.toString(u"yyyy年MM月dd日 HH:mm"_s)}});
        }
        accept();
    });
}

} // namespace cg
