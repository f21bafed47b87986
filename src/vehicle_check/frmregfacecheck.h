#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"
#include "checkhelpers.h"

#include <QDateTime>
#include <QDialog>

class QLabel;

namespace cg {

// The appearance check of one trip: its header, its own three-colour lamp,
// and the verdict buttons.
class frmRegFaceCheck : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QDateTime m_dtBusDate MEMBER m_dtBusDate)
    Q_PROPERTY(QString m_szLicese MEMBER m_szLicese)
    Q_PROPERTY(int m_nCount MEMBER m_nCount)
public:
    frmRegFaceCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);

    QString m_szBusID;
    QDateTime m_dtBusDate;
    QString m_szLicese;
    int m_nCount = 0;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Fills the header from the trip (called on the first show).
    void Form_Load();
    void verdict(bool passed);

    TripHeader m_trip;
    QLabel *lblStatus = nullptr;

    Env m_env;
    StationContext &m_station;
    bool m_loaded = false;
};

} // namespace cg
