#include "frmvehicle.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "services/masterdata/lookupservices.h"
#include "services/masterdata/vehicleservice.h"
#include "services/scheduling/arrangementservice.h"
#include "stationui/stationscreen.h"
#include "stationui/picklist.h"
#include "stationui/registerscreen.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
const QString kRegister = u"frmVehicleMain"_s;
const QString kReturnStation = u"frmReturnCheck"_s;
} // namespace

frmVehicle::frmVehicle(const Env &env, StationContext &station, QWidget *parent)
    : RecordScreen(env, station, u"frmVehicle"_s, u"车辆信息"_s, parent)
{
    buildUi();
}

frmVehicle::~frmVehicle() = default;

void frmVehicle::buildUi()
{
    auto *root = new QVBoxLayout(this);
    QGridLayout *fields = addFieldFrame(root, u"车辆信息"_s);

    txtLicenseID = recordField(u"txtLicenseID"_s, 5);
    txtLicense = recordField(u"txtLicense"_s, 10);
    txtCompany = recordField(u"txtCompany"_s, 30);
    QPushButton *cmdCompany = makePickButton(u"cmdCompany"_s);
    txtOwner = recordField(u"txtOwner"_s, 20);
    QPushButton *cmdOwner = makePickButton(u"cmdOwner"_s);
    txtModel = recordField(u"txtModel"_s, 0);
    QPushButton *cmdModel = makePickButton(u"cmdModel"_s);
    txtSeat = recordField(u"txtSeat"_s, 0);
    // Digits only: the numeric prefix of what is typed, no sign, no decimals.
    connect(txtSeat, &QLineEdit::textChanged, this, [this] { CleanNumericControl(txtSeat, false, false); });
    cboServiceKind = new QComboBox(this);
    cboServiceKind->setObjectName(u"cboServiceKind"_s);
    cboStatus = new QComboBox(this);
    cboStatus->setObjectName(u"cboStatus"_s);
    txtICCard = recordField(u"txtICCard"_s, 10);
    txtDriverNum = recordField(u"txtDriverNum"_s, 1);
    dtpCreateDate = RecordDatePicker(u"dtpCreateDate"_s, this);
    txtMemo = recordField(u"txtMemo"_s, 255);
    SelectAllOnFocus({txtLicenseID, txtLicense, txtSeat, txtMemo});

    layFields(fields, {{u"车辆代码:"_s, txtLicenseID},
                       {u"车牌号:"_s, txtLicense},
                       {u"参运公司:"_s, txtCompany, fieldWithButton(txtCompany, cmdCompany)},
                       {u"车主:"_s, txtOwner, fieldWithButton(txtOwner, cmdOwner)},
                       {u"车型:"_s, txtModel, fieldWithButton(txtModel, cmdModel)},
                       {u"座位数:"_s, txtSeat},
                       {u"性质:"_s, cboServiceKind},
                       {u"状态:"_s, cboStatus},
                       {u"IC卡号:"_s, txtICCard},
                       {u"驾驶人数:"_s, txtDriverNum},
                       {u"建档日期:"_s, dtpCreateDate, nullptr, FieldCell::EndsLine},
                       {u"备注:"_s, txtMemo, nullptr, FieldCell::Wide}});

    auto *driversCaption = new QLabel(u"准驾驾驶员:"_s, this);
    root->addWidget(driversCaption);
    vsDriver = new FlexGrid(this);
    vsDriver->setObjectName(u"vsDriver"_s);
    driversCaption->setBuddy(vsDriver);
    root->addWidget(vsDriver, 1);

    QPushButton *cmdClose = nullptr;
    QHBoxLayout *bottom = recordButtons(&lblStatus, &cmdAdd, &cmdSave, &cmdClose);
    root->addLayout(bottom);

    connect(cmdAdd, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmVehicle::cmdAdd_Click));
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCompany, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmVehicle::cmdCompany_Click));
    connect(cmdOwner, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmVehicle::cmdOwner_Click));
    connect(cmdModel, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmVehicle::cmdModel_Click));
    for (QComboBox *c : {cboServiceKind, cboStatus})
        connect(c, &QComboBox::currentIndexChanged, this, &frmVehicle::updateSaveEnabled);
    connect(dtpCreateDate, &QDateEdit::dateChanged, this, &frmVehicle::updateSaveEnabled);

    setStateControls(cmdSave, txtLicenseID, lblStatus);
    resize(900, 540);
}

// ---------------------------------------------------------------- opening

void frmVehicle::start()
{
    ResetGridSize(vsDriver, 1, 10);
    const QStringList headers{u"序"_s, u"驾驶员"_s, u"车牌号"_s, u"线路"_s, u"型号"_s, u"开始时间"_s,
                              u"结束时间"_s, u"车主"_s, u"参运公司"_s, u"备注"_s};
    for (int c = 0; c < headers.size(); ++c)
        vsDriver->setTextMatrix(0, c, headers.at(c));
    dtpCreateDate->setDate(m_env.clock->today());
    fillLists();
    selectDefaultNature();
    lblStatus->clear();
    if (m_eStatus == 1) {
        loadRecord();
        listArrangedDrivers();
        enterEditState();
    } else {
        clearRecord();
        enterNewState();
    }
}

void frmVehicle::fillLists()
{
    cboStatus->clear();
    cboStatus->addItem(u"正常"_s, 0);
    cboStatus->addItem(u"停班"_s, 1);
    cboStatus->setCurrentIndex(0);
    FillCodeCombo(cboServiceKind, m_station, 5);
}

void frmVehicle::selectDefaultNature()
{
    // A vehicle added at the return station is a temporary one.
    if (m_szParentForm == kReturnStation)
        cboServiceKind->setCurrentIndex(cboServiceKind->findText(u"临时"_s));
    else
        cboServiceKind->setCurrentIndex(cboServiceKind->count() > 0 ? 0 : -1);
}

void frmVehicle::clearRecord()
{
    for (QLineEdit *e : {txtCompany, txtLicense, txtLicenseID, txtMemo, txtModel, txtOwner, txtSeat, txtICCard})
        e->clear();
    dtpCreateDate->setDate(m_env.clock->today());
    cboStatus->setCurrentIndex(0);
    // The last vehicle's drivers are not this one's.
    vsDriver->setRows(vsDriver->fixedRows());
    m_szID.clear();
}

void frmVehicle::loadRecord()
{
    if (!m_station.db)
        return;
    VehicleService vehicles(*m_station.db, *m_env.clock);
    RecordSet rs = vehicles.QueryVehicles(m_station.context, u" license_id="_s + SqlLiteral(m_szID), QString(),
                                          NoDate(), true);
    if (!foundOne(rs, u"没有找到车辆[%1]的资料"_s.arg(m_szID)))
        return;
    txtLicenseID->setText(RecordText(rs, u"license_id"_s));
    txtLicense->setText(RecordText(rs, u"license"_s));
    txtCompany->setText(RecordText(rs, u"company_name"_s));
    txtOwner->setText(RecordText(rs, u"Owner"_s));
    txtModel->setText(RecordText(rs, u"model_id"_s));
    txtSeat->setText(RecordText(rs, u"seat_weight_num"_s));
    cboServiceKind->setCurrentIndex(FindComboItem(cboServiceKind, RecordText(rs, u"service_kind"_s)));
    cboStatus->setCurrentIndex(cboStatus->findData(FieldValue(rs, u"Status"_s).toInt()));
    txtICCard->setText(RecordText(rs, u"ic_card_id"_s));
    txtDriverNum->setText(RecordText(rs, u"driver_num"_s));
    dtpCreateDate->setDate(RecordDate(rs, u"create_date"_s, m_env.clock->today()));
    txtMemo->setText(RecordText(rs, u"Memo"_s));
}

void frmVehicle::listArrangedDrivers()
{
    vsDriver->setRows(vsDriver->fixedRows());
    const QString code = txtLicenseID->text().trimmed();
    if (!m_station.db || code.isEmpty())
        return;
    ArrangementService arrangements(*m_station.db);
    RecordSet rs = arrangements.QueryArrangements(m_station.context, u" vd.license_id = "_s + SqlLiteral(code),
                                                  QString(), QString(), NoDate(), u" vd.driver_id "_s);
    const auto day = [&](const QString &field) {
        const QDateTime d = FieldValue(rs, field).toDateTime();
        return d.isValid() ? d.toString(u"yyyy年MM月dd日"_s) : QString();
    };
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
        const int r = vsDriver->addRow();
        const QStringList cells{QString::number(r - vsDriver->fixedRows() + 1),
                                RecordText(rs, u"driver_name"_s),
                                RecordText(rs, u"license"_s),
                                QString(),
                                RecordText(rs, u"model_id"_s),
                                day(u"start_date"_s),
                                day(u"end_date"_s),
                                RecordText(rs, u"Owner"_s),
                                RecordText(rs, u"company_name"_s),
                                RecordText(rs, u"Memo"_s)};
        for (int c = 0; c < cells.size(); ++c)
            vsDriver->setTextMatrix(r, c, cells.at(c));
    }
    vsDriver->autoSize(0, vsDriver->cols() - 1);
}

// ---------------------------------------------------------------- saving

bool frmVehicle::canSave() const
{
    if (loadFailed())
        return false;
    for (const QLineEdit *e : {txtCompany, txtOwner, txtModel, txtSeat, txtLicense, txtLicenseID})
        if (e->text().isEmpty())
            return false;
    return true;
}

RecordSet frmVehicle::recordFromForm() const
{
    RecordSet row = CloneRecordsetShape(VehicleService::GetVehicleTemplate());
    row.appendRow();
    const int drivers = txtDriverNum->text().trimmed().toInt();
    row.setValue(u"license_id"_s, txtLicenseID->text().trimmed());
    row.setValue(u"license"_s, txtLicense->text().trimmed());
    row.setValue(u"model_id"_s, txtModel->text().trimmed());
    row.setValue(u"service_kind"_s, cboServiceKind->currentText().trimmed());
    row.setValue(u"Owner"_s, txtOwner->text().trimmed());
    row.setValue(u"company_name"_s, txtCompany->text().trimmed());
    row.setValue(u"Status"_s, cboStatus->currentData().toInt());
    row.setValue(u"seat_weight_num"_s, txtSeat->text().toInt()); // empty = 0
    row.setValue(u"create_date"_s, QDateTime(dtpCreateDate->date(), QTime(0, 0)));
    row.setValue(u"ic_card_id"_s, txtICCard->text().trimmed());
    row.setValue(u"driver_num"_s, drivers >= 1 ? drivers : 1);
    row.setValue(u"Memo"_s, txtMemo->text().trimmed());
    return row;
}

bool frmVehicle::cmdSave_Click()
{
    if (!canSave()) {
        updateSaveEnabled();
        return false;
    }
    return trapped([this] {
        if (!m_station.db)
            throw AppError(errnum::InvalidArgument, u"没有连接数据库，车辆资料没有保存"_s);
        VehicleService vehicles(*m_station.db, *m_env.clock);
        const RecordSet row = recordFromForm();
        if (m_eStatus == 0) {
            m_szID = vehicles.AddVehicle(m_station.context, row);
            // The vehicle exists from here on: the next save rewrites it.
            enterEditState();
            if (reportsTo(kRegister))
                m_register->AddOneLine(m_szID);
        } else {
            vehicles.UpdateVehicle(m_station.context, m_szID, row);
            enterEditState();
            if (reportsTo(kRegister))
                m_register->UpdateOneLine(m_szID);
        }
        lblStatus->setText(u"保存成功"_s);
    });
}

bool frmVehicle::settleChanges()
{
    if (!cmdSave->isEnabled())
        return true;
    const MsgAnswer answer = m_env.messages->show(
        {u"提示"_s, u"信息已被修改，是否要保存修改？"_s, MsgIcon::Information, MsgButtons::YesNo}, this);
    if (answer != MsgAnswer::Yes)
        return true;
    return cmdSave_Click();
}

void frmVehicle::cmdAdd_Click()
{
    // A save that failed keeps the input on screen.
    if (!settleChanges())
        return;
    clearRecord();
    lblStatus->clear();
    enterNewState();
}

// ---------------------------------------------------------------- picks

void frmVehicle::cmdCompany_Click()
{
    PutPicked(txtCompany, PickCompany(this, m_station));
}

void frmVehicle::cmdOwner_Click()
{
    PutPicked(txtOwner, PickOwner(this, m_station, BracketHead(txtCompany->text().trimmed())));
}

void frmVehicle::cmdModel_Click()
{
    const Array2D picked = PickModel(this, m_station);
    if (picked.rows() < 1)
        return; // nothing picked: model and seats stay as they are
    txtModel->setText(JoinCodeName(picked.at(1, 1).toString(), picked.at(1, 2).toString()));
    if (!m_station.db)
        return;
    ModelService models(*m_station.db);
    if (!models.SelectModel(m_station.context, BracketHead(txtModel->text())))
        return;
    const int seats = models.GetFirstSeatFigure() + models.GetSecondSeatFigure() - 1;
    if (seats >= 0) // a model without figures leaves the seats to the operator
        txtSeat->setText(QString::number(seats));
}

void frmVehicle::closeEvent(QCloseEvent *event)
{
    // A failed save keeps the window open with the input.
    if (isVisible() && !settleChanges()) {
        event->ignore();
        return;
    }
    RecordScreen::closeEvent(event);
}

} // namespace cg
