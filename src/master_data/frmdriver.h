#pragma once

#include "services/fingerprint/fingerprintengine.h"
#include "stationui/recordscreen.h"

#include <QByteArray>
#include <QLabel>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

namespace cg {

// A picture area: shows a stored picture scaled to fit, keeping its
// proportions, and reports double clicks.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    PictureBox(const QString &objectName, const QString &caption, QWidget *parent = nullptr);
    // Shows the picture in bytes; empty or unreadable bytes show the caption.
    void setPicture(const QByteArray &bytes);
    void clearPicture() { setPicture({}); }
    const QByteArray &pictureBytes() const { return m_bytes; }
    bool hasPicture() const { return !m_image.isNull(); }
signals:
    void doubleClicked();
protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
private:
    void redraw();
    QString m_caption;
    QByteArray m_bytes;
    QPixmap m_image;
};

// The live image of the reader while a finger is pressed.
class LiveFingerView : public QWidget {
    Q_OBJECT
public:
    explicit LiveFingerView(QWidget *parent = nullptr);
    void setEngine(FingerprintEngine *engine) { m_engine = engine; update(); }
    // Shows the last image from now on (on each image the reader sends).
    void showImage() { m_showing = true; update(); }
    // Empties the view until the next image.
    void clearImage() { m_showing = false; update(); }
protected:
    void paintEvent(QPaintEvent *event) override;
private:
    QPointer<FingerprintEngine> m_engine;
    bool m_showing = false;
};

// 驾驶员档案: one driver's record with his photo and two enrolled
// fingerprints (formal and backup), opened by the driver register (the
// record-screen pattern; saves go back to it when it is the opener).
class frmDriver : public RecordScreen {
    Q_OBJECT
public:
    frmDriver(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmDriver() override;

    // What the record holds beyond its fields (pictures and templates,
    // held until the first save of a new driver); its tests read it.
    qint64 photoId() const { return m_photoId; }
    qint64 fingerId() const { return m_fingerId; }
    qint64 backupFingerId() const { return m_fingerId1; }
    const QString &formalTemplate() const { return m_fngValue; }
    const QString &backupTemplate() const { return m_fngValue1; }
    bool isCompareMode() const { return m_compareMode; }
    FingerprintEngine *engine() const { return m_engine; }

protected:
    void start() override;
    void clearRecord() override;
    bool canSave() const override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What the controls do (connected in buildUi, under the error trap).
    void cmdAdd_Click();
    void cmdSave_Click();
    void cmdEnrol_Click();
    void cmdCompare_Click();
    void cmdCompany_Click();
    void txtCredit_LostFocus();
    void imgPhoto_DblClick();
    void imgFinger_DblClick();

    void buildUi();
    void fillCodeLists();
    void startEngine();
    void loadRecord();
    void showPicture(PictureBox *box, qint64 pictureId);
    // Stores a picture under *pictureId (replacing it, or adding and
    // keeping the new id).
    void storePicture(qint64 *pictureId, const QString &fileName, const QByteArray &bytes);
    // A picture file the operator picks, shown in box and stored under
    // *pictureId; nothing happens when he cancels.
    void choosePicture(PictureBox *box, qint64 *pictureId);
    void storeTemplate(bool backup, const QString &text);
    void storeHeldFingers();
    void onFeatureQuality(int code);
    void onEnrolmentDone(bool ok, const QString &templateText);
    void onCaptured(const QString &templateText);

    FingerprintEngine *m_engine = nullptr;
    bool m_engineReady = false;
    bool m_compareMode = false;

    qint64 m_photoId = 0;
    qint64 m_fingerId = 0;
    qint64 m_fingerId1 = 0;
    QString m_fngValue;
    QString m_fngValue1;
    // Fingers enrolled before the record had a number: stored at its first save.
    struct HeldFinger {
        bool held = false;
        QString templateText;
        QString fileName;
        QByteArray picture;
    };
    HeldFinger m_heldFormal;
    HeldFinger m_heldBackup;

    QLineEdit *txtDriverID, *txtDriverName, *txtCredit, *txtLinkPhone, *txtHomePhone, *txtAddress, *txtJobCertID,
        *txtPostCertID, *txtCompany, *txtMemo;
    QComboBox *cboSex, *cboCertKind, *cboServiceKind;
    QDateEdit *dtpBirthDate, *dtpInStartDate, *dtpInEndDate, *dtpCreateDate;
    QCheckBox *chkIsDriver, *chkBackup;
    PictureBox *imgPhoto, *imgFinger, *imgFinger1;
    LiveFingerView *picLive;
    QPushButton *cmdEnrol, *cmdCompare, *cmdAdd, *cmdSave;
    QLabel *lblEnrolPrompt, *lblStatus;
};

} // namespace cg
