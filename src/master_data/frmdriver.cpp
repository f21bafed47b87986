#include "frmdriver.h"

#include "idcard.h"

#include "core/clock.h"
#include "core/recordset.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "services/fingerprint/fingerprintengine.h"
#include "services/masterdata/driverservice.h"
#include "stationui/stationscreen.h"
#include "stationui/picklist.h"
#include "stationui/registerscreen.h"
#include "widgets/buttons.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {


frmDriver::frmDriver(const Env &env, StationContext &station, QWidget *parent)
    : RecordScreen(env, station, u"frmDriver"_s, u"驾驶员档案"_s, parent)
{
    buildUi();
    if (m_station.makeFingerprintEngine)
        m_engine = m_station.makeFingerprintEngine(this);
    if (m_engine) {
        m_engine->SetEnrollCount(1);
        m_engine->SetSensorIndex(0);
        m_engine->SetThreshold(10);
        m_engine->SetOneToOneThreshold(10);
        m_engine->SetForceSecondMatch(false);
        m_engine->SetAutoIdentify(false);
        m_engine->SetIsImageChange(false);
        picLive->setEngine(m_engine);
        connect(m_engine, &FingerprintEngine::FeatureQuality, this,
                [this](int code) { Trap(*m_env.messages, [&] { onFeatureQuality(code); }); });
        connect(m_engine, &FingerprintEngine::ImageReceived, picLive, &LiveFingerView::showImage);
        connect(m_engine, &FingerprintEngine::EnrolmentDone, this, [this](bool ok, const QString &text) {
            Trap(*m_env.messages, [&] { onEnrolmentDone(ok, text); });
        });
        connect(m_engine, &FingerprintEngine::Captured, this,
                [this](const QString &text) { Trap(*m_env.messages, [&] { onCaptured(text); }); });
    }
}

frmDriver::~frmDriver() = default;

void frmDriver::buildUi()
{
    auto *root = new QVBoxLayout(this);
    auto *body = new QHBoxLayout;
    root->addLayout(body, 1);

    auto *fields = new QGridLayout;
    body->addLayout(fields, 3);
    txtDriverID = recordField(u"txtDriverID"_s, 10);
    txtDriverName = recordField(u"txtDriverName"_s, 10);
    cboSex = new QComboBox(this);
    cboSex->setObjectName(u"cboSex"_s);
    cboSex->addItems({u"男"_s, u"女"_s});
    cboSex->setCurrentIndex(-1); // no sex chosen on a first opening
    txtCredit = recordField(u"txtCredit"_s, 18);
    dtpBirthDate = RecordDatePicker(u"dtpBirthDate"_s, this);
    txtLinkPhone = recordField(u"txtLinkPhone"_s, 20);
    txtHomePhone = recordField(u"txtHomePhone"_s, 30);
    txtAddress = recordField(u"txtAddress"_s, 50);
    cboCertKind = new QComboBox(this);
    cboCertKind->setObjectName(u"cboCertKind"_s);
    cboCertKind->setEditable(true);
    cboServiceKind = new QComboBox(this);
    cboServiceKind->setObjectName(u"cboServiceKind"_s);
    txtJobCertID = recordField(u"txtJobCertID"_s, 20);
    txtPostCertID = recordField(u"txtPostCertID"_s, 20);
    txtCompany = recordField(u"txtCompany"_s, 30);
    QPushButton *cmdCompany = makePickButton(u"cmdCompany"_s);
    dtpInStartDate = RecordDatePicker(u"dtpInStartDate"_s, this);
    dtpInEndDate = RecordDatePicker(u"dtpInEndDate"_s, this);
    dtpCreateDate = RecordDatePicker(u"dtpCreateDate"_s, this);
    chkIsDriver = new QCheckBox(u"是否机动驾驶员"_s, this);
    chkIsDriver->setObjectName(u"chkIsDriver"_s);
    txtMemo = recordField(u"txtMemo"_s, 255);
    SelectAllOnFocus({txtDriverID, txtDriverName, txtCredit, txtLinkPhone, txtHomePhone, txtAddress, txtJobCertID,
                      txtPostCertID, txtCompany, txtMemo});

    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(txtDriverName, 1);
    nameRow->addWidget(cboSex);
    auto *periodRow = new QHBoxLayout;
    periodRow->addWidget(dtpInStartDate, 1);
    periodRow->addWidget(new QLabel(u"至"_s, this));
    periodRow->addWidget(dtpInEndDate, 1);

    const int lines = layFields(fields, {{u"编号:"_s, txtDriverID},
                                         {u"姓名:"_s, txtDriverName, nameRow},
                                         {u"身份证号:"_s, txtCredit},
                                         {u"出生年月:"_s, dtpBirthDate},
                                         {u"联系电话:"_s, txtLinkPhone},
                                         {u"宅电:"_s, txtHomePhone},
                                         {u"通讯地址:"_s, txtAddress, nullptr, FieldCell::Wide},
                                         {u"驾照类别:"_s, cboCertKind},
                                         {u"服务性质:"_s, cboServiceKind},
                                         {u"从业资格证号:"_s, txtJobCertID},
                                         {u"上岗证号:"_s, txtPostCertID},
                                         {u"参运公司:"_s, txtCompany, fieldWithButton(txtCompany, cmdCompany)},
                                         {u"建档时间:"_s, dtpCreateDate},
                                         {u"聘用期限:"_s, dtpInStartDate, periodRow},
                                         {QString(), chkIsDriver},
                                         {u"备注:"_s, txtMemo, nullptr, FieldCell::Wide}});
    fields->setRowStretch(lines, 1);

    // Photo and fingerprint on the right.
    auto *pictures = new QVBoxLayout;
    body->addLayout(pictures, 2);
    auto *pictureRow = new QHBoxLayout;
    imgPhoto = new PictureBox(u"imgPhoto"_s, u"照   片"_s, this);
    imgFinger = new PictureBox(u"imgFinger"_s, u"指   纹"_s, this);
    imgFinger1 = new PictureBox(u"imgFinger1"_s, u"指   纹"_s, this);
    imgFinger1->hide();
    pictureRow->addWidget(imgPhoto);
    pictureRow->addWidget(imgFinger);
    pictureRow->addWidget(imgFinger1);
    pictures->addLayout(pictureRow);
    auto *fingerButtons = new QHBoxLayout;
    chkBackup = new QCheckBox(u"是否备用"_s, this);
    chkBackup->setObjectName(u"chkBackup"_s);
    cmdEnrol = PlainButton(this, u"cmdEnrol"_s, u"登记"_s);
    cmdCompare = PlainButton(this, u"cmdCompare"_s, u"比对"_s);
    fingerButtons->addWidget(chkBackup);
    fingerButtons->addStretch(1);
    fingerButtons->addWidget(cmdEnrol);
    fingerButtons->addWidget(cmdCompare);
    pictures->addLayout(fingerButtons);
    picLive = new LiveFingerView(this);
    picLive->setObjectName(u"picLive"_s);
    pictures->addWidget(picLive, 0, Qt::AlignHCenter);
    lblEnrolPrompt = new QLabel(this);
    lblEnrolPrompt->setObjectName(u"lblEnrolPrompt"_s);
    lblEnrolPrompt->setWordWrap(true);
    pictures->addWidget(lblEnrolPrompt);
    pictures->addStretch(1);

    QPushButton *cmdClose = nullptr;
    QHBoxLayout *bottom = recordButtons(&lblStatus, &cmdAdd, &cmdSave, &cmdClose);
    root->addLayout(bottom);

    connect(cmdAdd, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::cmdAdd_Click));
    connect(cmdSave, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::cmdSave_Click));
    connect(cmdEnrol, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::cmdEnrol_Click));
    connect(cmdCompare, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::cmdCompare_Click));
    connect(cmdCompany, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::cmdCompany_Click));
    connect(imgPhoto, &PictureBox::doubleClicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::imgPhoto_DblClick));
    connect(imgFinger, &PictureBox::doubleClicked, this, TrappedSlot(*m_env.messages, this, &frmDriver::imgFinger_DblClick));
    connect(txtCredit, &QLineEdit::editingFinished, this, TrappedSlot(*m_env.messages, this, &frmDriver::txtCredit_LostFocus));
    connect(chkBackup, &QCheckBox::toggled, this, [this](bool backup) {
        imgFinger1->setVisible(backup);
        imgFinger->setVisible(!backup);
    });
    BindByteLimit(cboCertKind, 4);
    connect(cboCertKind, &QComboBox::editTextChanged, this, &frmDriver::updateSaveEnabled);
    for (QComboBox *c : {cboSex, cboCertKind, cboServiceKind})
        connect(c, &QComboBox::currentIndexChanged, this, &frmDriver::updateSaveEnabled);
    for (QDateEdit *d : {dtpBirthDate, dtpInStartDate, dtpInEndDate, dtpCreateDate})
        connect(d, &QDateEdit::dateChanged, this, &frmDriver::updateSaveEnabled);
    setStateControls(cmdSave, txtDriverID, lblStatus);
    resize(860, 460);
}

// ---------------------------------------------------------------- opening

void frmDriver::start()
{
    fillCodeLists();
    startEngine();
    if (m_eStatus == 1) {
        loadRecord();
        // Opened for edit: the number is the record's key and stays as loaded.
        txtDriverID->setEnabled(false);
        cmdSave->setText(u"保存(&S)"_s);
    } else {
        clearRecord();
        enterNewState();
    }
    lblStatus->clear();
    updateSaveEnabled();
}

void frmDriver::fillCodeLists()
{
    const QString certText = cboCertKind->currentText();
    const QString serviceText = cboServiceKind->currentText();
    FillCodeCombo(cboCertKind, m_station, 3, u""_s);
    FillCodeCombo(cboServiceKind, m_station, 4);
    cboCertKind->setCurrentIndex(FindComboItem(cboCertKind, certText));
    cboServiceKind->setCurrentIndex(FindComboItem(cboServiceKind, serviceText));
}

void frmDriver::startEngine()
{
    m_compareMode = false;
    if (!m_engine) {
        lblEnrolPrompt->setText(u"没有可用的指纹仪"_s);
        return;
    }
    const int code = m_engine->Initialise();
    m_engineReady = code == FingerprintEngine::Ready;
    if (code == FingerprintEngine::DriverFailed)
        m_env.messages->show({u"提示"_s, u"指纹识别驱动程序加载失败！"_s, MsgIcon::None, MsgButtons::Ok}, this);
    else if (code != FingerprintEngine::Ready)
        m_env.messages->show({u"提示"_s, u"没连接指纹仪！"_s, MsgIcon::None, MsgButtons::Ok}, this);
    m_engine->BeginEnrolment();
    lblEnrolPrompt->setText(u"开始登记"_s);
}

void frmDriver::clearRecord()
{
    for (QLineEdit *e : {txtDriverID, txtDriverName, txtCredit, txtLinkPhone, txtHomePhone, txtAddress,
                         txtJobCertID, txtPostCertID, txtMemo})
        e->clear();
    const QDate today = m_env.clock->today();
    for (QDateEdit *d : {dtpBirthDate, dtpCreateDate, dtpInStartDate, dtpInEndDate})
        d->setDate(today);
    if (cboCertKind->count() > 0)
        cboCertKind->setCurrentIndex(0);
    if (cboServiceKind->count() > 0)
        cboServiceKind->setCurrentIndex(0);
    m_szID.clear();
    m_photoId = m_fingerId = m_fingerId1 = 0;
    imgPhoto->clearPicture();
    imgFinger->clearPicture();
    imgFinger1->clearPicture();
    // A new record starts without the last one's fingers.
    m_fngValue.clear();
    m_fngValue1.clear();
    m_heldFormal = {};
    m_heldBackup = {};
}

void frmDriver::loadRecord()
{
    if (!m_station.db)
        return;
    DriverService drivers(*m_station.db, *m_env.clock);
    RecordSet rs = drivers.QueryDrivers(m_station.context, u" driver_id="_s + SqlLiteral(m_szID), QString());
    if (!foundOne(rs, u"没有找到驾驶员[%1]的资料"_s.arg(m_szID)))
        return;
    txtDriverID->setText(RecordText(rs, u"driver_id"_s));
    txtDriverName->setText(RecordText(rs, u"driver_name"_s));
    cboSex->setCurrentIndex(FindComboItem(cboSex, RecordText(rs, u"sex"_s)));
    txtCredit->setText(RecordText(rs, u"credit"_s));
    const QDate today = m_env.clock->today();
    dtpBirthDate->setDate(RecordDate(rs, u"birth_date"_s, today));
    txtLinkPhone->setText(RecordText(rs, u"link_phone"_s));
    txtHomePhone->setText(RecordText(rs, u"home_phone"_s));
    txtAddress->setText(RecordText(rs, u"Address"_s));
    cboCertKind->setCurrentIndex(FindComboItem(cboCertKind, RecordText(rs, u"cert_kind"_s)));
    if (cboCertKind->currentIndex() < 0)
        cboCertKind->setEditText(RecordText(rs, u"cert_kind"_s));
    cboServiceKind->setCurrentIndex(FindComboItem(cboServiceKind, RecordText(rs, u"service_kind"_s)));
    txtJobCertID->setText(RecordText(rs, u"job_cert_id"_s));
    txtPostCertID->setText(RecordText(rs, u"post_cert_id"_s));
    txtCompany->setText(rs.value(u"company_name"_s).toString());
    dtpInStartDate->setDate(RecordDate(rs, u"in_start_date"_s, today));
    dtpInEndDate->setDate(RecordDate(rs, u"in_end_date"_s, today));
    dtpCreateDate->setDate(RecordDate(rs, u"create_date"_s, today));
    chkIsDriver->setChecked(FieldValue(rs, u"is_driver"_s).toInt() == 1);
    txtMemo->setText(RecordText(rs, u"Memo"_s));
    m_photoId = FieldValue(rs, u"photo_id"_s).toLongLong();
    m_fingerId = FieldValue(rs, u"finger_id"_s).toLongLong();
    m_fingerId1 = FieldValue(rs, u"finger_id1"_s).toLongLong();
    showPicture(imgPhoto, m_photoId);
    showPicture(imgFinger, m_fingerId);
    showPicture(imgFinger1, m_fingerId1);
    m_fngValue = RecordText(rs, u"fng_value"_s);
    m_fngValue1 = RecordText(rs, u"fng_value1"_s);
    m_heldFormal = {};
    m_heldBackup = {};
}

// ---------------------------------------------------------------- saving

bool frmDriver::canSave() const
{
    return !loadFailed() && !txtDriverID->text().trimmed().isEmpty() && !txtDriverName->text().trimmed().isEmpty();
}

void frmDriver::cmdAdd_Click()
{
    clearRecord();
    enterNewState();
    // Nothing of the last driver's enrolment stays on screen.
    lblStatus->clear();
    picLive->clearImage();
    if (m_engine && !m_engine->IsEnrolling())
        lblEnrolPrompt->clear();
}

void frmDriver::cmdSave_Click()
{
    if (!canSave()) {
        updateSaveEnabled();
        return;
    }
    if (!m_station.db)
        return;
    DriverService drivers(*m_station.db, *m_env.clock);
    // Fingers enrolled before the first save: their pictures go in with it.
    if (m_eStatus == 0) {
        if (m_heldFormal.held && !m_heldFormal.picture.isEmpty() && m_fingerId == 0)
            m_fingerId = drivers.AddPicture(m_station.context, m_heldFormal.fileName, m_heldFormal.picture);
        if (m_heldBackup.held && !m_heldBackup.picture.isEmpty() && m_fingerId1 == 0)
            m_fingerId1 = drivers.AddPicture(m_station.context, m_heldBackup.fileName, m_heldBackup.picture);
    }
    RecordSet row = CloneRecordsetShape(DriverService::GetDriverTemplate());
    row.appendRow();
    const auto at = [](const QDate &d) { return QDateTime(d, QTime(0, 0)); };
    row.setValue(u"driver_id"_s, txtDriverID->text().trimmed());
    row.setValue(u"driver_name"_s, txtDriverName->text().trimmed());
    row.setValue(u"sex"_s, cboSex->currentIndex() < 0 ? QString() : cboSex->currentText().trimmed());
    row.setValue(u"credit"_s, txtCredit->text().trimmed());
    row.setValue(u"birth_date"_s, at(dtpBirthDate->date()));
    row.setValue(u"link_phone"_s, txtLinkPhone->text().trimmed());
    row.setValue(u"home_phone"_s, txtHomePhone->text().trimmed());
    row.setValue(u"Address"_s, txtAddress->text().trimmed());
    row.setValue(u"cert_kind"_s, cboCertKind->currentText());
    row.setValue(u"service_kind"_s, cboServiceKind->currentText());
    row.setValue(u"job_cert_id"_s, txtJobCertID->text().trimmed());
    row.setValue(u"post_cert_id"_s, txtPostCertID->text().trimmed());
    row.setValue(u"company_name"_s, txtCompany->text());
    row.setValue(u"in_start_date"_s, at(dtpInStartDate->date()));
    row.setValue(u"in_end_date"_s, at(dtpInEndDate->date()));
    row.setValue(u"create_date"_s, at(dtpCreateDate->date()));
    row.setValue(u"is_driver"_s, chkIsDriver->isChecked() ? 1 : 0);
    row.setValue(u"Memo"_s, txtMemo->text().trimmed());
    row.setValue(u"photo_id"_s, qint32(m_photoId));
    row.setValue(u"finger_id"_s, qint32(m_fingerId));
    row.setValue(u"finger_id1"_s, qint32(m_fingerId1));

    const bool toRegister = reportsTo(u"frmDriverMain"_s);
    if (m_eStatus == 0) {
        m_szID = drivers.AddDriver(m_station.context, row);
        // The driver exists from here on: whatever fails next, the next
        // save updates him and never adds him again.
        enterEditState();
        storeHeldFingers();
        if (toRegister)
            m_register->AddOneLine(m_szID);
    } else {
        drivers.UpdateDriver(m_station.context, m_szID, row);
        enterEditState();
        if (toRegister)
            m_register->UpdOneInfoLine(m_szID);
    }
    lblStatus->setText(u"保存成功"_s);
}

void frmDriver::storeHeldFingers()
{
    HeldFinger formal = std::exchange(m_heldFormal, {});
    HeldFinger backup = std::exchange(m_heldBackup, {});
    if (formal.held)
        storeTemplate(false, formal.templateText);
    if (backup.held)
        storeTemplate(true, backup.templateText);
}

// ---------------------------------------------------------------- fields

void frmDriver::txtCredit_LostFocus()
{
    const QString text = txtCredit->text().trimmed();
    if (text != txtCredit->text())
        txtCredit->setText(text);
    if (text.isEmpty())
        return;
    const QDate birth = BirthDateFromIdNumber(text);
    if (birth.isValid()) {
        dtpBirthDate->setDate(birth);
        return;
    }
    m_env.messages->show({u"输入错误"_s, u"身份证号码错误!"_s, MsgIcon::Warning, MsgButtons::Ok}, this);
}

void frmDriver::cmdCompany_Click()
{
    PutPicked(txtCompany, PickCompany(this, m_station));
}

void frmDriver::closeEvent(QCloseEvent *event)
{
    if (m_engine) {
        if (m_engine->IsEnrolling())
            m_engine->CancelEnrolment();
        // Let go of the reader: the check-in station may want it.
        m_engine->Shutdown();
    }
    m_photoId = m_fingerId = m_fingerId1 = 0;
    m_heldFormal = {};
    m_heldBackup = {};
    RecordScreen::closeEvent(event);
}

} // namespace cg
