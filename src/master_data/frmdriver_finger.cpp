// The driver record's pictures and fingerprints: photo and fingerprint
// picture files, enrolment of the formal and backup finger, and comparison.
#include "frmdriver.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/files.h"
#include "services/fingerprint/fingerprintengine.h"
#include "services/masterdata/driverservice.h"
#include "widgets/filechooser.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"

#include <QCheckBox>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace cg {

// ---------------------------------------------------------------- PictureBox

PictureBox::PictureBox(const QString &objectName, const QString &caption, QWidget *parent)
    : QLabel(parent), m_caption(caption)
{
    setObjectName(objectName);
    setFixedSize(120, 150);
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignCenter);
    setText(caption);
}

void PictureBox::setPicture(const QByteArray &bytes)
{
    m_bytes = bytes;
    m_image = QPixmap();
    if (!bytes.isEmpty())
        m_image.loadFromData(bytes);
    redraw();
}

void PictureBox::redraw()
{
    if (m_image.isNull()) {
        setPixmap(QPixmap());
        setText(m_caption);
        return;
    }
    setPixmap(m_image.scaled(contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QLabel::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

void PictureBox::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    redraw();
}

LiveFingerView::LiveFingerView(QWidget *parent) : QWidget(parent)
{
    setFixedSize(100, 150);
}

void LiveFingerView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    if (m_engine && m_showing)
        m_engine->DrawImage(p, 0, 0, width(), height());
    p.setPen(palette().mid().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

namespace {
// The file name part of a path: after its last "\" or "/", "" without either.
QString pictureName(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return cut < 0 ? QString() : path.mid(cut + 1);
}

QByteArray readPicture(const QString &path)
{
    QByteArray bytes;
    if (!ReadFileBytes(path, bytes))
        throw AppError(errnum::InvalidArgument, u"无法读取图片文件%1"_s.arg(path));
    return bytes;
}

// A folder of this enrolment's scratch files, unique and removed when it
// goes out of scope: under the workstation's scratch folder, or the user's
// temporary folder.
std::unique_ptr<QTemporaryDir> scratchFolder(const QString &scratchDir)
{
    const QString base = scratchDir.isEmpty() ? QDir::tempPath() : scratchDir;
    QDir().mkpath(base);
    auto dir = std::make_unique<QTemporaryDir>(base + u"/enrol-XXXXXX"_s);
    if (!dir->isValid())
        throw AppError(errnum::InvalidArgument, u"无法建立指纹登记的临时文件夹%1"_s.arg(base));
    return dir;
}
} // namespace

// ---------------------------------------------------------------- pictures

void frmDriver::showPicture(PictureBox *box, qint64 pictureId)
{
    if (pictureId <= 0 || !m_station.db) {
        box->clearPicture();
        return;
    }
    DriverService drivers(*m_station.db, *m_env.clock);
    box->setPicture(drivers.GetPicture(m_station.context, pictureId).toByteArray());
}

void frmDriver::storePicture(qint64 *pictureId, const QString &fileName, const QByteArray &bytes)
{
    if (!m_station.db)
        return;
    DriverService drivers(*m_station.db, *m_env.clock);
    if (*pictureId > 0)
        drivers.ReplacePicture(m_station.context, *pictureId, fileName, bytes);
    else
        *pictureId = drivers.AddPicture(m_station.context, fileName, bytes);
}

void frmDriver::choosePicture(PictureBox *box, qint64 *pictureId)
{
    const QString path = m_env.files ? m_env.files->openFileName(this, u"打开"_s, u"BMP图片 (*.bmp);;JPG图片 (*.jpg)"_s)
                                     : QString();
    if (path.isEmpty())
        return;
    const QByteArray bytes = readPicture(path);
    box->setPicture(bytes);
    storePicture(pictureId, pictureName(path), bytes);
    updateSaveEnabled();
}

void frmDriver::imgPhoto_DblClick()
{
    choosePicture(imgPhoto, &m_photoId);
}

void frmDriver::imgFinger_DblClick()
{
    // Only the formal fingerprint picture is chosen from a file.
    if (!chkBackup->isChecked())
        choosePicture(imgFinger, &m_fingerId);
}

// ---------------------------------------------------------------- fingerprints

void frmDriver::cmdEnrol_Click()
{
    if (!m_engine)
        return;
    m_engine->BeginEnrolment();
    lblStatus->setText(chkBackup->isChecked() ? u"进入指纹登记状态(备用)"_s : u"进入指纹登记状态(正式)"_s);
}

void frmDriver::cmdCompare_Click()
{
    if (!m_engine)
        return;
    if (m_engine->IsEnrolling())
        m_engine->CancelEnrolment();
    m_compareMode = true;
    lblStatus->setText(u"进入指纹比对状态"_s);
}

void frmDriver::onFeatureQuality(int code)
{
    QString line;
    if (m_engine->IsEnrolling())
        line = u"登记状态: 还需要按压%1次手指!"_s.arg(m_engine->EnrolPressesLeft());
    line += u" 指纹质量"_s;
    line += code == 0 ? u"合格"_s : u"不合格: %1"_s.arg(code);
    lblEnrolPrompt->setText(line);
}

void frmDriver::onEnrolmentDone(bool ok, const QString &templateText)
{
    if (!ok) {
        m_env.messages->show({u"提示"_s, u"指纹登记失败！"_s, MsgIcon::None, MsgButtons::Ok}, this);
        return;
    }
    if (loadFailed())
        throw AppError(errnum::InvalidArgument, u"驾驶员[%1]的资料没有读出，指纹没有保存"_s.arg(m_szID));
    const bool backup = chkBackup->isChecked();
    // The engine hands the image and the template over as files; they live
    // only in this enrolment's own scratch folder.
    const auto scratch = scratchFolder(m_env.scratchDir);
    const QString imagePath = scratch->filePath(u"Fingerprint.bmp"_s);
    if (!m_engine->SaveImageBitmap(imagePath))
        throw AppError(errnum::InvalidArgument, u"指纹图像没有保存"_s);
    const QByteArray picture = readPicture(imagePath);
    const QString fileName = pictureName(imagePath);
    m_engine->SaveTemplateFile(scratch->filePath(u"fingerprint.tpl"_s), m_engine->DecodeTemplateText(templateText));
    const QString text = m_engine->EncodeTemplateText(m_engine->DecodeTemplateText(templateText));

    (backup ? imgFinger1 : imgFinger)->setPicture(picture);
    (backup ? m_fngValue1 : m_fngValue) = text;
    if (m_eStatus == 1 && !m_szID.isEmpty()) {
        storePicture(backup ? &m_fingerId1 : &m_fingerId, fileName, picture);
        storeTemplate(backup, text);
    } else {
        // No number yet: the finger is stored right after the first save.
        HeldFinger &held = backup ? m_heldBackup : m_heldFormal;
        held = {true, text, fileName, picture};
        if (backup)
            m_fingerId1 = 0;
        else
            m_fingerId = 0;
    }
    updateSaveEnabled();
    lblStatus->setText(u"指纹登记成功"_s);
}

void frmDriver::storeTemplate(bool backup, const QString &text)
{
    if (!m_station.db)
        return;
    DriverService drivers(*m_station.db, *m_env.clock);
    if (backup)
        drivers.SetDriverBackupFingerTemplate(m_station.context, m_szID, text);
    else
        drivers.SetDriverFingerTemplate(m_station.context, m_szID, text);
}

void frmDriver::onCaptured(const QString &templateText)
{
    if (!m_compareMode)
        return;
    const QString registeredText = chkBackup->isChecked() ? m_fngValue1 : m_fngValue;
    FingerTemplate registered = m_engine->DecodeTemplateText(registeredText);
    const FingerTemplate captured = m_engine->DecodeTemplateText(
        m_engine->EncodeTemplateText(m_engine->DecodeTemplateText(templateText)));
    bool changed = false;
    const bool ok = m_engine->VerifyTemplate(registered, captured, false, changed);
    const QString text = ok ? u"指纹比对成功！"_s : u"指纹比对失败！"_s;
    lblStatus->setText(text);
    m_env.messages->show({u"信息提示"_s, text, MsgIcon::Information, MsgButtons::Ok}, this);
}

} // namespace cg
