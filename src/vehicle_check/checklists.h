#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"
#include "checkhelpers.h"

#include <QDateTime>
#include <QColor>
#include <QDialog>

#include <functional>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace cg {

class FlexGrid;

// The common frame of the three record windows: a title, a header with a
// status lamp, the record grid, 关闭 and (for the dispatch centre only) the
// forced pass. The opener sets the members before showing the window; the
// records load when it is first shown.
class CheckRecordList : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szParentForm MEMBER m_szParentForm)
    Q_PROPERTY(QDateTime m_dtBusDate MEMBER m_dtBusDate)
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(bool m_IsOk MEMBER m_IsOk)
public:
    QString m_szParentForm;
    QDateTime m_dtBusDate;
    QString m_szBusID;
    bool m_IsOk = false; // set when a forced pass was recorded

    // Colours the status lamp as the opener last saw it; the records drawn
    // on the first show replace it.
    void setLampColour(const QColor &colour);

protected:
    CheckRecordList(const Env &env, StationContext &station, const QString &formName, const QString &title,
                    QWidget *parent);
    void showEvent(QShowEvent *event) override;
    // Fills the header and the records (called on the first show).
    virtual void Form_Load() = 0;
    // Sets the grid's columns up (called once, from the constructor) ...
    void setupGrid(const QStringList &captions);
    // ... and cuts it back to its header row (on each load).
    void clearRecords();
    // A new record row with the lamp of status in column 0; the header lamp
    // follows it, so that it ends showing the last record's status.
    int addCheckRow(int status);
    // The forced pass: question, the write, then closing (the window stays
    // open when the write fails).
    void forcePass(const std::function<void()> &write);
    bool fromDispatchCentre() const { return m_szParentForm == QStringLiteral("frmEnvBusDesk"); }
    // A 强行通过(&O) button named name before 关闭, shown only for the
    // dispatch centre, running forcePass(write).
    QPushButton *addForcePassButton(const char *name, const std::function<void()> &write);

    Env m_env;
    StationContext &m_station;
    QGridLayout *m_header = nullptr;
    QHBoxLayout *m_buttons = nullptr;
    bool m_loaded = false;

    FlexGrid *vsList = nullptr;
    QLabel *lblStatus = nullptr;

private:
    QStringList m_captions;
};

// 车况检验记录: one vehicle's condition checks.
class frmTeckCheckList : public CheckRecordList {
    Q_OBJECT
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(int m_nCount MEMBER m_nCount)
public:
    frmTeckCheckList(const Env &env, StationContext &station, QWidget *parent = nullptr);
    QString m_szLicense;
    int m_nCount = 0;


private:
    void Form_Load() override;

    QLabel *lblLicenseID = nullptr, *lblBusKind = nullptr, *lblCompany = nullptr, *lblBusCode = nullptr;
    QPushButton *cmdOk = nullptr;
};

// The header of the trip record windows.
class TripRecordList : public CheckRecordList {
    Q_OBJECT
protected:
    TripRecordList(const Env &env, StationContext &station, const QString &formName, const QString &title,
                   QWidget *parent);
    // Fills the header from the trip; false when the trip is not found.
    bool loadTrip(const QString &unitCode, int *luggageStatus);

    TripHeader m_trip;
};

// 车容检验记录: one trip's appearance checks.
class frmFaceCheckList : public TripRecordList {
    Q_OBJECT
public:
    frmFaceCheckList(const Env &env, StationContext &station, QWidget *parent = nullptr);

private:
    void Form_Load() override;

    QPushButton *cmdForcePass = nullptr;
};

// 行包件数核对记录: one trip's luggage per stop (no forced pass).
class frmLugCheckList : public TripRecordList {
    Q_OBJECT
public:
    frmLugCheckList(const Env &env, StationContext &station, QWidget *parent = nullptr);

private:
    void Form_Load() override;
};

} // namespace cg
