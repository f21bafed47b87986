#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace cg {

// 驾驶员排班: arranges one driver to any number of vehicles for one period.
// The operator finds and selects a driver, finds vehicles and ticks them,
// sets the period (the driver's employment period by default) and a remark,
// and saves one arrangement per ticked vehicle. The dialog stays open for
// further arrangements.
class frmGenerateArrangeVehicle : public QDialog {
    Q_OBJECT
public:
    frmGenerateArrangeVehicle(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmGenerateArrangeVehicle() override;

    QString DriverFragment() const;
    QString VehicleFragment() const;

private:
    // What the controls do (connected in buildUi, under the error trap).
    void cmdQueryDriver_Click();
    void cmdQueryVehicle_Click();
    void lvDriver_ItemClick();
    void cmdSave_Click();

    void buildUi();
    Env m_env;
    StationContext &m_station;

    QLineEdit *txtDriverName, *txtDriverID, *txtLicense, *txtLicenseID, *txtMemo;
    QComboBox *cboCompany, *cboType;
    QTreeWidget *lvDriver, *lvVehicle;
    QDateEdit *dtpStartDate, *dtpEndDate;
};

} // namespace cg
