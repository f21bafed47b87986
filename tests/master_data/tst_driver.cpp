// The driver record: the ID-card birth date, save enabling and the caption
// state machine, the register calls after a save, pictures, enrolment of
// the formal and backup finger through the simulated reader, comparison,
// and a driver enrolled here being identified at the check-in station.

#include "masterdatafixture.h"

#include "driver_check/frmdriververify.h"
#include "master_data/frmdriver.h"
#include "master_data/frmdrivermain.h"
#include "master_data/idcard.h"
#include "master_data/masterdataforms.h"
#include "widgets/formregistry.h"
#include "stationui/picklist.h"
#include "widgets/grid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

void fillRecord(frmDriver &form, const QString &number, const QString &name)
{
    test::child<QLineEdit>(&form, u"txtDriverID"_s)->setText(number);
    test::child<QLineEdit>(&form, u"txtDriverName"_s)->setText(name);
}

QStringList gridColumn(FlexGrid *grid, int c)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, c);
    return out;
}

QStringList filesUnder(const QString &dir)
{
    QStringList out;
    QDir d(dir);
    for (const QFileInfo &fi : d.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        out << fi.fileName();
    return out;
}

} // namespace

namespace {
// An enrolment takes several presses of the finger, however few the form
// asks for: the engine merges them into one template.
void enrolFinger(cg::SimulatedFingerReader &reader, const QString &finger)
{
    for (int i = 0; i < cg::FingerprintEngine::MinimumEnrolPresses; ++i)
        reader.press(finger);
}
} // namespace

class TstDriver : public QObject {
    Q_OBJECT
private slots:
    void idCardDates_data();
    void idCardDates();
    void idCardFieldSetsBirthDate_data();
    void idCardFieldSetsBirthDate();
    void saveEnabling();
    void newRecordSavedOnceThenUpdated();
    void otherOpenerGetsNoRegisterCalls();
    void editLocksNumberAndLoads();
    void openedByNameLoadsWhenShown();
    void recordThatFailsToLoadCannotBeSaved();
    void addNewClearsHeldTemplates();
    void enrolmentOnUnsavedRecordIsStoredAfterFirstSave();
    void failureAfterAddNeverAddsTwice();
    void backupEnrolmentLeavesFormalUntouched();
    void scratchFilesAreRemoved();
    void qualityPrompt();
    void compareMode();
    void photoIsStoredInTheDatabase();
    void companyPick();
    void enrolledDriverIsIdentifiedAtCheckIn();
};

void TstDriver::idCardDates_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QDate>("birth");
    QTest::newRow("18, valid") << u"44010619850317123X"_s << QDate(1985, 3, 17);
    QTest::newRow("15, 19YY") << u"440106850317123"_s << QDate(1985, 3, 17);
    QTest::newRow("15, year 00 is 1900") << u"440106000229123"_s << QDate();
    QTest::newRow("15, year 04") << u"440106040229123"_s << QDate(1904, 2, 29);
    QTest::newRow("17 characters") << u"4401061985031712X"_s << QDate();
    QTest::newRow("18, month 13") << u"44010619851317123X"_s << QDate();
    QTest::newRow("18, 30 February") << u"440106198502301234"_s << QDate();
    QTest::newRow("18, letters in the date") << u"4401061985O317123X"_s << QDate();
    QTest::newRow("18, sign in the date") << u"440106+98503171234"_s << QDate();
}

void TstDriver::idCardDates()
{
    QFETCH(QString, id);
    QFETCH(QDate, birth);
    QCOMPARE(BirthDateFromIdNumber(id), birth);
}

void TstDriver::idCardFieldSetsBirthDate_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("birth");
    QTest::addColumn<QString>("message");
    QTest::newRow("18") << u"44010619850317123X"_s << QDate(1985, 3, 17) << QString();
    QTest::newRow("15 with spaces") << u" 440106850317123 "_s << QDate(1985, 3, 17) << QString();
    QTest::newRow("15") << u"440106850317123"_s << QDate(1985, 3, 17) << QString();
    QTest::newRow("17") << u"4401061985031712X"_s << QDate() << u"身份证号码错误!"_s;
    QTest::newRow("month 13") << u"44010619851317123X"_s << QDate() << u"身份证号码错误!"_s;
    QTest::newRow("empty") << u"   "_s << QDate() << QString();
}

void TstDriver::idCardFieldSetsBirthDate()
{
    QFETCH(QString, typed);
    QFETCH(QDate, birth);
    QFETCH(QString, message);
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.Open();
    const QDate before = test::child<QDateEdit>(&form, u"dtpBirthDate"_s)->date();
    auto *txtCredit = test::child<QLineEdit>(&form, u"txtCredit"_s);
    txtCredit->setText(typed);
    QTest::keyClick(txtCredit, Qt::Key_Return);
    QCOMPARE(txtCredit->text(), typed.trimmed());
    QCOMPARE(test::child<QDateEdit>(&form, u"dtpBirthDate"_s)->date(), birth.isValid() ? birth : before);
    QCOMPARE(s.messages.lastText(), message);
    if (!message.isEmpty())
        QCOMPARE(s.messages.lastTitle(), u"输入错误"_s);
}

void TstDriver::saveEnabling()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.Open();
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    QVERIFY(!cmdSave->isEnabled());
    test::child<QLineEdit>(&form, u"txtDriverName"_s)->setText(u"新人"_s);
    QVERIFY(!cmdSave->isEnabled());
    test::child<QLineEdit>(&form, u"txtDriverID"_s)->setText(u"   "_s);
    QVERIFY(!cmdSave->isEnabled()); // spaces are no number
    // A picture alone does not enable it either.
    const QString photo = s.dir.filePath(u"me.jpg"_s);
    QImage(8, 8, QImage::Format_RGB32).save(photo, "JPG");
    s.files.answers = {photo};
    QTest::mouseDClick(test::child<PictureBox>(&form, u"imgPhoto"_s), Qt::LeftButton);
    QVERIFY(!cmdSave->isEnabled());
    // And save refuses at the moment of saving too.
    cmdSave->click();
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM drivers WHERE driver_name = '新人'"_s).toInt(), 0);
    test::child<QLineEdit>(&form, u"txtDriverID"_s)->setText(u"D20"_s);
    QVERIFY(cmdSave->isEnabled());
    test::child<QLineEdit>(&form, u"txtDriverName"_s)->clear();
    QVERIFY(!cmdSave->isEnabled());
}

void TstDriver::newRecordSavedOnceThenUpdated()
{
    test::MasterDataStation s;
    frmDriverMain reg(s.env, s.station);
    reg.show();
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdQuery"_s), Qt::LeftButton);
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdAdd"_s), Qt::LeftButton);
    frmDriver *form = reg.recordScreen();
    QVERIFY(form);
    QCOMPARE(form->m_szParentForm, u"frmDriverMain"_s);
    QCOMPARE(test::child<QPushButton>(form, u"cmdSave"_s)->text(), u"保存(&S)"_s);
    QVERIFY(test::child<QLineEdit>(form, u"txtDriverID"_s)->isEnabled());
    fillRecord(*form, u" D20 "_s, u"新人"_s);
    QTest::mouseClick(test::child<QPushButton>(form, u"cmdSave"_s), Qt::LeftButton);
    QVERIFY2(s.messages.boxes.isEmpty(), qPrintable(s.messages.lastText()));
    QCOMPARE(form->m_szID, u"D20"_s);
    QCOMPARE(form->m_eStatus, 1);
    QCOMPARE(test::child<QPushButton>(form, u"cmdSave"_s)->text(), u"修改(&S)"_s);
    QVERIFY(!test::child<QPushButton>(form, u"cmdSave"_s)->isEnabled());
    QVERIFY(!test::child<QLineEdit>(form, u"txtDriverID"_s)->isEnabled());
    // The register shows him as a new last row, without a query.
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    QCOMPARE(gridColumn(vsList, 1).last(), u"D20"_s);
    QCOMPARE(vsList->textMatrix(vsList->rows() - 1, 0), u"6"_s);
    // The next save updates the same driver and rewrites his row, even
    // when another row is current.
    vsList->setCurrent(1, 1);
    test::child<QLineEdit>(form, u"txtDriverName"_s)->setText(u"新人甲"_s);
    QVERIFY(test::child<QPushButton>(form, u"cmdSave"_s)->isEnabled());
    QTest::mouseClick(test::child<QPushButton>(form, u"cmdSave"_s), Qt::LeftButton);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM drivers WHERE driver_id = 'D20'"_s).toInt(), 1);
    QCOMPARE(s.field(u"D20"_s, u"driver_name"_s).toString(), u"新人甲"_s);
    QCOMPARE(gridColumn(vsList, 2), (QStringList{u"张三"_s, u"李四"_s, u"王五"_s, u"赵六"_s, u"钱七"_s,
                                                    u"新人甲"_s}));
}

void TstDriver::otherOpenerGetsNoRegisterCalls()
{
    test::MasterDataStation s;
    frmDriverMain reg(s.env, s.station);
    frmDriver form(s.env, s.station);
    form.m_szParentForm = u"frmSomethingElse"_s;
    form.m_register = &reg;
    form.Open();
    fillRecord(form, u"D20"_s, u"新人"_s);
    test::child<QPushButton>(&form, u"cmdSave"_s)->click();
    QCOMPARE(s.field(u"D20"_s, u"driver_name"_s).toString(), u"新人"_s);
    QCOMPARE(test::child<FlexGrid>(&reg, u"vsList"_s)->dataRows(), 0);
}

void TstDriver::editLocksNumberAndLoads()
{
    test::MasterDataStation s;
    s.db.exec(u"UPDATE drivers SET credit = '44010619850317123X', cert_kind = 'b1', service_kind = '机动', "
               u"company_name = 'C01[天河运输]', is_driver = 1, sex = '男', birth_date = '1985-03-17 00:00:00' "
               u"WHERE driver_id = 'D04'"_s);
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverID"_s)->text(), u"D04"_s);
    QVERIFY(!test::child<QLineEdit>(&form, u"txtDriverID"_s)->isEnabled());
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverName"_s)->text(), u"赵六"_s);
    QCOMPARE(test::child<QComboBox>(&form, u"cboCertKind"_s)->currentText(), u"B1"_s); // matched ignoring case
    QCOMPARE(test::child<QComboBox>(&form, u"cboServiceKind"_s)->currentText(), u"机动"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCompany"_s)->text(), u"C01[天河运输]"_s);
    QVERIFY(test::child<QCheckBox>(&form, u"chkIsDriver"_s)->isChecked());
    QCOMPARE(test::child<QDateEdit>(&form, u"dtpBirthDate"_s)->date(), QDate(1985, 3, 17));
    QCOMPARE(test::child<QPushButton>(&form, u"cmdSave"_s)->text(), u"保存(&S)"_s);
    test::child<QLineEdit>(&form, u"txtMemo"_s)->setText(u"改过"_s);
    test::child<QPushButton>(&form, u"cmdSave"_s)->click();
    QCOMPARE(s.field(u"D04"_s, u"memo"_s).toString(), u"改过"_s);
    QCOMPARE(s.field(u"D04"_s, u"cert_kind"_s).toString(), u"B1"_s);
}

void TstDriver::openedByNameLoadsWhenShown()
{
    test::MasterDataStation s;
    FormRegistry registry;
    RegisterMasterDataForms(registry, s.env, s.station);
    QVERIFY(registry.contains(u"frmDriverMain"_s));
    std::unique_ptr<QWidget> w(registry.create(u"frmDriver"_s, nullptr));
    QVERIFY(w);
    w->setProperty("m_eStatus", 1);
    w->setProperty("m_szID", u"D05"_s);
    w->show();
    auto *form = qobject_cast<frmDriver *>(w.get());
    QCOMPARE(test::child<QLineEdit>(form, u"txtDriverName"_s)->text(), u"钱七"_s);
    QCOMPARE(test::child<QComboBox>(form, u"cboSex"_s)->currentText(), u"女"_s);
    QVERIFY(!test::child<QLineEdit>(form, u"txtDriverID"_s)->isEnabled());
}

void TstDriver::recordThatFailsToLoadCannotBeSaved()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    // Opened again for a driver deleted meanwhile: nothing of D04 stays.
    form.m_szID = u"D77"_s;
    form.Open();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverName"_s)->text(), QString());
    fillRecord(form, u"D04"_s, u"覆盖"_s);
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    QVERIFY(!cmdSave->isEnabled());
    cmdSave->click();
    QCOMPARE(s.field(u"D04"_s, u"driver_name"_s).toString(), u"赵六"_s);
    // Nor is a finger stored for it.
    enrolFinger(s.reader, u"D77/formal"_s);
    QVERIFY(s.messages.lastText().contains(u"没有读出"_s));
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM pictures"_s).toInt(), 0);
    // 新增 starts a new record that can be saved.
    test::child<QPushButton>(&form, u"cmdAdd"_s)->click();
    fillRecord(form, u"D21"_s, u"新人"_s);
    QVERIFY(cmdSave->isEnabled());
}

void TstDriver::addNewClearsHeldTemplates()
{
    test::MasterDataStation s;
    s.db.exec(u"UPDATE drivers SET fng_value = ?, finger_id = 0 WHERE driver_id = 'D04'"_s,
               {EnrolTemplateTextForFinger(u"D04/formal"_s, 1)});
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    QVERIFY(!form.formalTemplate().isEmpty());
    test::child<QPushButton>(&form, u"cmdAdd"_s)->click();
    QCOMPARE(form.formalTemplate(), QString());
    QCOMPARE(form.m_eStatus, 0);
    QCOMPARE(form.m_szID, QString());
    QVERIFY(test::child<QLineEdit>(&form, u"txtDriverID"_s)->isEnabled());
    // Comparing now has nothing to compare with.
    test::child<QPushButton>(&form, u"cmdCompare"_s)->click();
    s.reader.press(u"D04/formal"_s);
    QCOMPARE(s.messages.lastText(), u"指纹比对失败！"_s);
}

void TstDriver::enrolmentOnUnsavedRecordIsStoredAfterFirstSave()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.Open();
    QCOMPARE(test::child<QLabel>(&form, u"lblEnrolPrompt"_s)->text(), u"开始登记"_s);
    enrolFinger(s.reader, u"D20/formal"_s);
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"指纹登记成功"_s);
    QVERIFY(test::child<PictureBox>(&form, u"imgFinger"_s)->hasPicture());
    QVERIFY(!test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled()); // an enrolment alone does not enable save
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM pictures"_s).toInt(), 0);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM drivers WHERE fng_value IS NOT NULL"_s).toInt(), 0);
    fillRecord(form, u"D20"_s, u"新人"_s);
    test::child<QPushButton>(&form, u"cmdSave"_s)->click();
    QCOMPARE(s.field(u"D20"_s, u"fng_value"_s).toString(), form.formalTemplate());
    QVERIFY(!form.formalTemplate().isEmpty());
    const qint64 picture = s.field(u"D20"_s, u"finger_id"_s).toLongLong();
    QVERIFY(picture > 0);
    QCOMPARE(s.db.scalar(u"SELECT file_name FROM pictures WHERE id = ?"_s, {picture}).toString(),
             u"Fingerprint.bmp"_s);
    QCOMPARE(s.field(u"D20"_s, u"fng_value1"_s), QVariant());
}

void TstDriver::failureAfterAddNeverAddsTwice()
{
    test::MasterDataStation s;
    // Storing the held template fails, after the driver was added.
    s.db.exec(u"CREATE TRIGGER refuse_fng BEFORE UPDATE OF fng_value ON drivers "
               u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
    frmDriver form(s.env, s.station);
    form.Open();
    enrolFinger(s.reader, u"D20/formal"_s);
    fillRecord(form, u"D20"_s, u"新人"_s);
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    QTest::mouseClick(cmdSave, Qt::LeftButton);
    QCOMPARE(s.messages.boxes.size(), 1); // the failure is told
    QCOMPARE(form.m_eStatus, 1);
    QCOMPARE(cmdSave->text(), u"修改(&S)"_s);
    test::child<QLineEdit>(&form, u"txtMemo"_s)->setText(u"再存一次"_s);
    QTest::mouseClick(cmdSave, Qt::LeftButton);
    QCOMPARE(s.messages.boxes.size(), 1);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM drivers WHERE driver_id = 'D20'"_s).toInt(), 1);
    QCOMPARE(s.field(u"D20"_s, u"memo"_s).toString(), u"再存一次"_s);
}

void TstDriver::backupEnrolmentLeavesFormalUntouched()
{
    test::MasterDataStation s;
    const QString formal = EnrolTemplateTextForFinger(u"D04/formal"_s, 1);
    const qint64 formalPicture = s.db.insert(u"INSERT INTO pictures (file_name, data) VALUES ('f.bmp', 'x')"_s, {});
    s.db.exec(u"UPDATE drivers SET fng_value = ?, finger_id = ? WHERE driver_id = 'D04'"_s,
               {formal, formalPicture});
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    test::child<QCheckBox>(&form, u"chkBackup"_s)->setChecked(true);
    QVERIFY(test::child<PictureBox>(&form, u"imgFinger1"_s)->isVisibleTo(&form) && !test::child<PictureBox>(&form, u"imgFinger"_s)->isVisibleTo(&form));
    test::child<QPushButton>(&form, u"cmdEnrol"_s)->click();
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"进入指纹登记状态(备用)"_s);
    enrolFinger(s.reader, u"D04/backup"_s);
    QCOMPARE(s.field(u"D04"_s, u"fng_value"_s).toString(), formal);
    QCOMPARE(s.field(u"D04"_s, u"finger_id"_s).toLongLong(), formalPicture);
    QCOMPARE(s.db.scalar(u"SELECT data FROM pictures WHERE id = ?"_s, {formalPicture}).toByteArray(), "x");
    QCOMPARE(s.field(u"D04"_s, u"fng_value1"_s).toString(), form.backupTemplate());
    QVERIFY(form.backupFingerId() > 0);
    // A second backup enrolment replaces the picture under the same id.
    const qint64 backupPicture = form.backupFingerId();
    test::child<QPushButton>(&form, u"cmdEnrol"_s)->click();
    enrolFinger(s.reader, u"D04/backup"_s);
    QCOMPARE(form.backupFingerId(), backupPicture);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM pictures"_s).toInt(), 2);
}

void TstDriver::scratchFilesAreRemoved()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    enrolFinger(s.reader, u"D04/formal"_s);
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"指纹登记成功"_s);
    QVERIFY(QDir(s.env.scratchDir).exists());
    QCOMPARE(filesUnder(s.env.scratchDir), QStringList());
    QVERIFY(!QFile::exists(u"/Fingerprint.bmp"_s));
}

void TstDriver::qualityPrompt()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.Open();
    emit form.engine()->FeatureQuality(3);
    QCOMPARE(test::child<QLabel>(&form, u"lblEnrolPrompt"_s)->text(),
             u"登记状态: 还需要按压%1次手指! 指纹质量不合格: 3"_s.arg(FingerprintEngine::MinimumEnrolPresses));
    test::child<QPushButton>(&form, u"cmdCompare"_s)->click();
    emit form.engine()->FeatureQuality(0);
    QCOMPARE(test::child<QLabel>(&form, u"lblEnrolPrompt"_s)->text(), u" 指纹质量合格"_s);
}

void TstDriver::compareMode()
{
    test::MasterDataStation s;
    s.db.exec(u"UPDATE drivers SET fng_value = ?, fng_value1 = ? WHERE driver_id = 'D04'"_s,
               {EnrolTemplateTextForFinger(u"D04/formal"_s, 1), EnrolTemplateTextForFinger(u"D04/backup"_s, 1)});
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    // In enrol mode a capture is not compared.
    test::child<QPushButton>(&form, u"cmdCompare"_s)->click();
    QVERIFY(!form.engine()->IsEnrolling());
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"进入指纹比对状态"_s);
    s.reader.press(u"D04/formal"_s);
    QCOMPARE(s.messages.lastTitle(), u"信息提示"_s);
    QCOMPARE(s.messages.lastText(), u"指纹比对成功！"_s);
    s.reader.press(u"D04/backup"_s);
    QCOMPARE(s.messages.lastText(), u"指纹比对失败！"_s);
    test::child<QCheckBox>(&form, u"chkBackup"_s)->setChecked(true);
    s.reader.press(u"D04/backup"_s);
    QCOMPARE(s.messages.lastText(), u"指纹比对成功！"_s);
    s.reader.pressUnknown();
    QCOMPARE(s.messages.lastText(), u"指纹比对失败！"_s);
    QCOMPARE(s.field(u"D04"_s, u"fng_value1"_s).toString(), EnrolTemplateTextForFinger(u"D04/backup"_s, 1));
}

void TstDriver::photoIsStoredInTheDatabase()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.m_eStatus = 1;
    form.m_szID = u"D04"_s;
    form.Open();
    const QString photo = s.dir.filePath(u"sub/张.jpg"_s);
    QDir().mkpath(s.dir.filePath(u"sub"_s));
    QImage(20, 30, QImage::Format_RGB32).save(photo, "JPG");
    s.files.answers = {photo, photo};
    auto *imgPhoto = test::child<PictureBox>(&form, u"imgPhoto"_s);
    QTest::mouseDClick(imgPhoto, Qt::LeftButton);
    QCOMPARE(s.files.calls.first().filter, u"BMP图片 (*.bmp);;JPG图片 (*.jpg)"_s);
    const qint64 id = form.photoId();
    QVERIFY(id > 0);
    QVERIFY(imgPhoto->hasPicture());
    QCOMPARE(s.db.scalar(u"SELECT file_name FROM pictures WHERE id = ?"_s, {id}).toString(), u"张.jpg"_s);
    // Chosen again: the same picture id is replaced.
    QTest::mouseDClick(imgPhoto, Qt::LeftButton);
    QCOMPARE(form.photoId(), id);
    test::child<QPushButton>(&form, u"cmdSave"_s)->click();
    QCOMPARE(s.field(u"D04"_s, u"photo_id"_s).toLongLong(), id);
    // A file that cannot be read is told and stores nothing.
    s.files.answers = {s.dir.filePath(u"missing.jpg"_s)};
    QTest::mouseDClick(imgPhoto, Qt::LeftButton);
    QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM pictures"_s).toInt(), 1);
}

void TstDriver::companyPick()
{
    test::MasterDataStation s;
    frmDriver form(s.env, s.station);
    form.Open();
    SetPickListRunner([](PickListDialog &dialog) {
        dialog.txtSearch->setText(u"白云"_s);
        QTest::keyClick(dialog.txtSearch, Qt::Key_Return);
        return dialog.result();
    });
    test::child<QPushButton>(&form, u"cmdCompany"_s)->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCompany"_s)->text(), u"C02[白云运输]"_s);
    SetPickListRunner([](PickListDialog &dialog) {
        QTest::keyClick(dialog.txtSearch, Qt::Key_Escape);
        return dialog.result();
    });
    test::child<QPushButton>(&form, u"cmdCompany"_s)->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCompany"_s)->text(), u"C02[白云运输]"_s);
    SetPickListRunner({});
}

void TstDriver::enrolledDriverIsIdentifiedAtCheckIn()
{
    test::MasterDataStation s;
    // A check-in station that was already running before the enrolment.
    frmDriverVerify running(s.env, s.station);
    running.show();

    frmDriverMain reg(s.env, s.station);
    reg.show();
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdAdd"_s), Qt::LeftButton);
    frmDriver *form = reg.recordScreen();
    enrolFinger(s.reader, u"D20/formal"_s); // the running station does not know him yet
    QCOMPARE(s.messages.notices,
             QStringList(FingerprintEngine::MinimumEnrolPresses, u"未能识别指纹，请重试"_s));
    QCOMPARE(test::child<QLabel>(form, u"lblStatus"_s)->text(), u"指纹登记成功"_s);
    fillRecord(*form, u"D20"_s, u"新人"_s);
    QTest::mouseClick(test::child<QPushButton>(form, u"cmdSave"_s), Qt::LeftButton);
    form->close();
    // He drives V1 today.
    s.db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
               u"VALUES ('V1', 'D20', '新人', ?, ?)"_s,
               {test::checkinToday().addDays(-1), test::checkinToday().addDays(1)});
    s.db.exec(u"DELETE FROM substitutions"_s);
    s.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, license_id, "
               u"license_tag_no) VALUES ('440100001', ?, 'K030', ?, '440101', 'R01', 'V1', '粤A10001')"_s,
               {test::checkinToday(), s.clock.now().addSecs(20 * 60)});

    // The running station learns him with 刷新 -> 刷新指纹.
    s.messages.clear();
    QTest::mouseClick(running.findChild<QPushButton *>(u"cmdRefresh"_s), Qt::LeftButton);
    QTest::mouseClick(running.findChild<QPushButton *>(u"cmdRefreshFinger"_s), Qt::LeftButton);
    s.reader.press(u"D20/formal"_s);
    QVERIFY2(s.messages.notices.isEmpty(), qPrintable(s.messages.notices.join(u'|')));
    auto *grid = running.findChild<FlexGrid *>(u"vsList"_s);
    QVERIFY(gridColumn(grid, 0).contains(u"K030"_s));
    running.hide();

    // A station opened after the enrolment knows him at once.
    frmDriverVerify fresh(s.env, s.station);
    fresh.show();
    s.messages.clear();
    s.reader.press(u"D20/formal"_s);
    QVERIFY2(s.messages.notices.isEmpty(), qPrintable(s.messages.notices.join(u'|')));
    QVERIFY(gridColumn(fresh.findChild<FlexGrid *>(u"vsList"_s), 0).contains(u"K030"_s));
}

QTEST_MAIN(TstDriver)
#include "tst_driver.moc"
