#pragma once

#include "stationui/recordscreen.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cg {

class FlexGrid;

// 车辆信息: one vehicle's record (code, plate, company, owner, model and
// seats, nature, status, IC card, number of drivers) with the drivers
// arranged to it. Opened by the vehicle register (saves go back to it), by
// the dispatch centre and by the return station (new vehicles only; from
// there the nature starts at 临时).
class frmVehicle : public RecordScreen {
    Q_OBJECT
public:
    frmVehicle(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmVehicle() override;

protected:
    void start() override;
    void clearRecord() override;
    bool canSave() const override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What the buttons do (connected in buildUi).
    void cmdAdd_Click();
    // False when the save failed (the error shown, form and state kept).
    bool cmdSave_Click();
    void cmdCompany_Click();
    void cmdOwner_Click();
    void cmdModel_Click();

    void buildUi();
    void fillLists();
    void selectDefaultNature();
    void loadRecord();
    void listArrangedDrivers();
    // Asks whether to save changes when save is enabled; false when the
    // answer was Yes and the save failed.
    bool settleChanges();
    RecordSet recordFromForm() const;

    QLineEdit *txtLicenseID, *txtLicense, *txtCompany, *txtOwner, *txtModel, *txtSeat, *txtICCard, *txtDriverNum,
        *txtMemo;
    QComboBox *cboServiceKind, *cboStatus;
    QDateEdit *dtpCreateDate;
    FlexGrid *vsDriver;
    QLabel *lblStatus;
    QPushButton *cmdAdd, *cmdSave;
};

} // namespace cg
