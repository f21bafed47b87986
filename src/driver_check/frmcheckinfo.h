#pragma once

#include "widgets/env.h"
#include "core/recordset.h"
#include "stationui/stationcontext.h"

#include <QDialog>

#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace cg {

class FingerprintEngine;

// The boarding confirmation the departure gate opens for an identified
// vehicle ("检票信息"). It shows the check summary of the departing trip and
// asks for confirmation. With the OutCheck parameter on it lists the drivers
// registered for the trip and confirms by itself once every listed driver
// has been recognised by fingerprint; a trip without listed drivers is
// confirmed by the operator with 确定. The caller reads m_IsOk afterwards.
class frmCheckInfo : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szErrorDescription MEMBER m_szErrorDescription)
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(bool m_IsOk MEMBER m_IsOk)
public:
    frmCheckInfo(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmCheckInfo() override;

    QString m_szErrorDescription;
    QString m_szBusID;
    QString m_szLicense;
    bool m_IsOk = false;

    // Where the dialog reads the trip's drivers (plate, trip code); the
    // driver service's QueryTripDrivers unless replaced before showing.
    using DriverQuery = std::function<RecordSet(const QString &license, const QString &busId)>;
    void setDriverQuery(DriverQuery query) { m_driverQuery = std::move(query); }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdOK_Click();
    void cmdNo_Click();
    struct Place {
        QLabel *number = nullptr;
        QLabel *name = nullptr;
        QLabel *status = nullptr;
    };

    void Form_Load();
    void LoadDrivers();
    void StartEngine();
    void FingerprintEngine_Captured();
    bool AnyPlaceOpen() const;
    QString noTemplateLine() const;
    void StopEngine();

    Env m_env;
    StationContext &m_station;
    DriverQuery m_driverQuery;
    bool m_loaded = false;

    QLabel *lblError;
    QLabel *lblPrompt;
    QGroupBox *fraDriver;
    Place m_places[3];
    QLabel *lblDriverError;
    QPushButton *cmdOK;
    QPushButton *cmdNo;

    FingerprintEngine *m_engine = nullptr;
    quint32 m_cache = 0;
    QStringList m_driverNo;   // by template number
    QStringList m_driverName; // by template number
    bool m_hasDrivers = false;
    QStringList m_noTemplate;  // names of listed drivers with no template
};

} // namespace cg
