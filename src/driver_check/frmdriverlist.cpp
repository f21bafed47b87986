#include "frmdriverlist.h"

#include "stationui/stationscreen.h"

#include "core/clock.h"
#include "core/dates.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/sqlliteral.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/masterdata/driverservice.h"
#include "widgets/buttons.h"
#include "stationui/titledwindow.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

constexpr int kBaseCauseKind = 8;
constexpr int kDriverPassKind = 3;
const QColor kRegular{0x00, 0x00, 0x00};
const QColor kMobile{0x00, 0x00, 0xFF};
const QColor kTemporary{0xFF, 0x00, 0x00};

QString validityText(const RecordSet &rs)
{
    const auto day = [&](const QString &field) {
        const QDateTime d = FieldValue(rs, field).toDateTime();
        return d.isValid() && !IsNoDate(d) ? d.toString(u"yyyy年MM月dd日"_s) : QString();
    };
    return day(u"contract_sign_date"_s) + u" - "_s + day(u"out_date"_s);
}

} // namespace

void BeginDriverListWindow(QDialog *window, const QString &formName, const QString &title, QSize size)
{
    window->setObjectName(formName);
    window->setWindowTitle(title);
    window->setWindowFlags(window->windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window->setModal(true);
    window->resize(size);
}

frmDriverList::frmDriverList(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    BeginDriverListWindow(this, u"frmDriverList"_s, u"驾驶员检验"_s, QSize(620, 540));

    const auto caption = [this](const QString &text) { return new QLabel(text, this); };
    const auto value = [this](const QString &name) {
        auto *label = new QLabel(this);
        label->setObjectName(name);
        label->setStyleSheet(u"QLabel { color: #000080; font-weight: bold; }"_s);
        return label;
    };
    lblBusDate = value(u"lblBusDate"_s);
    lblVehicle = value(u"lblVehicle"_s);
    lblBusID = value(u"lblBusID"_s);
    auto *heading = new QHBoxLayout;
    heading->addWidget(caption(u"日期:"_s));
    heading->addWidget(lblBusDate, 1);
    heading->addWidget(caption(u"车辆:"_s));
    heading->addWidget(lblVehicle, 1);
    heading->addWidget(caption(u"车次:"_s));
    heading->addWidget(lblBusID, 1);

    QLabel *title = LargeLabel(this, u"lblTitle"_s, u"驾驶员"_s, 13, true);

    vsList = new FlexGrid(this);
    vsList->setObjectName(u"vsList"_s);
    vsList->setSelectionBehavior(QAbstractItemView::SelectRows);
    vsList->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *legend = new QLabel(u"黑色：正常排班驾驶员 红色：临时排班驾驶员 蓝色：机动驾驶员"_s, this);
    legend->setObjectName(u"lblLegend"_s);

    cboCause = new QComboBox(this);
    cboCause->setObjectName(u"cboCause"_s);
    cboCause->setEditable(true);
    cboCause->setInsertPolicy(QComboBox::NoInsert);
    txtCause = new QLineEdit(this);
    txtCause->setObjectName(u"txtCause"_s);
    auto *causes = new QGridLayout;
    causes->addWidget(caption(u"常用"_s), 0, 0);
    causes->addWidget(caption(u"原因"_s), 0, 1);
    causes->addWidget(cboCause, 1, 0);
    causes->addWidget(txtCause, 1, 1);
    causes->setColumnStretch(0, 1);
    causes->setColumnStretch(1, 2);

    cmdForcePass = NamedButton(this, u"cmdForcePass"_s, u"确定(&O)"_s);
    cmdClose = NamedButton(this, u"cmdClose"_s, u"关闭(&C)"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(heading);
    layout->addWidget(StationLine(m_station.lineColour, this));
    layout->addWidget(title);
    layout->addWidget(vsList, 1);
    layout->addWidget(legend);
    layout->addWidget(StationLine(m_station.lineColour, this));
    layout->addLayout(causes);
    layout->addWidget(StationLine(m_station.lineColour, this));
    layout->addLayout(RightAlignedRow({cmdForcePass, cmdClose}));

    // Choosing or typing a common cause replaces the cause text.
    connect(cboCause, &QComboBox::currentTextChanged, txtCause, &QLineEdit::setText);
    connect(cmdForcePass, &QPushButton::clicked, this, &frmDriverList::cmdForcePass_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmDriverList::cmdClose_Click);
    SetupGrid();
}

frmDriverList::~frmDriverList() = default;

void frmDriverList::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Load();
}

void frmDriverList::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    Trap(*m_env.messages, [&] { SetupGrid(); });
    Trap(*m_env.messages, [&] { LoadHeading(); });
    Trap(*m_env.messages, [&] { LoadDrivers(); });
}

void frmDriverList::SetupGrid()
{
    QFont gf = vsList->font();
    gf.setPointSize(11);
    vsList->setFont(gf);
    vsList->setAllCentered();
    ResetGridSize(vsList, 1, 4);
    vsList->setTextMatrix(0, 0, u"驾驶员编号"_s);
    vsList->setTextMatrix(0, 1, u"驾驶员"_s);
    vsList->setTextMatrix(0, 2, u"有效期限"_s);
    vsList->setTextMatrix(0, 3, QString());
}

void frmDriverList::LoadHeading()
{
    ResetGridSize(vsList, 1, -1);
    txtCause->clear();
    lblBusDate->setText(m_dtBusDate.date().toString(u"yyyy年MM月dd日"_s));
    lblBusID->setText(m_szBusID);
    lblVehicle->setText(m_szLicense);

    FillCodeCombo(cboCause, m_station, kBaseCauseKind, u""_s);
}

void frmDriverList::LoadDrivers()
{
    const auto append = [this](RecordSet &rs, const QColor &colour) {
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
            const int r = vsList->addRow({FieldValue(rs, u"driver_no"_s).toString(),
                                          FieldValue(rs, u"driver_name"_s).toString(), validityText(rs),
                                          FieldValue(rs, u"route_id"_s).toString()});
            for (int c = 0; c <= 2; ++c)
                vsList->setCellForeColor(r, c, colour);
        }
    };
    DriverService drivers(*m_station.db, *m_env.clock);
    RecordSet regular = drivers.QueryDriverList(
        m_station.context, u"  route_id = "_s + SqlLiteral(m_szRouteID.trimmed()), u" driver_name "_s);
    append(regular, kRegular);
    // The unit of the mobile drivers is the regular drivers' unit; a route
    // without regular drivers names none.
    if (!regular.isEmpty()) {
        regular.MoveFirst();
        const QString unit = FieldValue(regular, u"unit_id"_s).toString().trimmed();
        RecordSet mobile = drivers.QueryDriverList(
            m_station.context, u"  drive_type='机动'  AND  unit_id = "_s + SqlLiteral(unit), u" driver_name "_s);
        append(mobile, kMobile);
    }
    CheckService checks(*m_station.db, *m_env.clock);
    RecordSet temporary = checks.QueryTemporaryDrivers(m_station.context, QString(), m_szRouteID.trimmed(), QString());
    append(temporary, kTemporary);
    vsList->autoSize(0, 3);
    vsList->setCurrentCell(-1, -1);
}

void frmDriverList::cmdForcePass_Click()
{
    const int row = vsList->row();
    if (row < vsList->fixedRows() || row >= vsList->rows())
        return;
    bool recorded = false;
    QString refusal;
    Trap(*m_env.messages, [&] {
        CheckService checks(*m_station.db, *m_env.clock);
        const QString op = m_station.operatorName();
        refusal = checks.ForceDriverPass(m_station.context, lblBusID->text(), DayOf(m_dtBusDate),
                                         vsList->textMatrix(row, 0).trimmed(),
                                         m_env.clock ? m_env.clock->now() : QDateTime::currentDateTime(), op,
                                         m_szLicense.trimmed(), txtCause->text().trimmed(), kDriverPassKind);
        recorded = true;
    });
    // A failure leaves the screen as it was; an answer (pass or refusal)
    // ends the sequence.
    if (!recorded)
        return;
    if (!refusal.isEmpty())
        ShowNotice(*m_env.messages, refusal);
    else
        m_env.messages->notify(u"此驾驶员报班已强行通过"_s, this);
    done(QDialog::Accepted);
}

void frmDriverList::cmdClose_Click()
{
    done(QDialog::Rejected);
}

} // namespace cg
