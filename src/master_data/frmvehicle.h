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

    QLineEdit *txtLicenseID = nullptr;
    QLineEdit *txtLicense = nullptr;
    QLineEdit *txtCompany = nullptr;
    QPushButton *cmdCompany = nullptr;
    QLineEdit *txtOwner = nullptr;
    QPushButton *cmdOwner = nullptr;
    QLineEdit *txtModel = nullptr;
    QPushButton *cmdModel = nullptr;
    QLineEdit *txtSeat = nullptr;
    QComboBox *cboServiceKind = nullptr;
    QComboBox *cboStatus = nullptr;
    QLineEdit *txtICCard = nullptr;
    QLineEdit *txtDriverNum = nullptr;
    QDateEdit *dtpCreateDate = nullptr;
    QLineEdit *txtMemo = nullptr;
    FlexGrid *vsDriver = nullptr;
    QLabel *lblStatus = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdClose = nullptr;

public slots:
    void cmdAdd_Click();
    // False when the save failed (the error shown, form and state kept).
    bool cmdSave_Click();
    void cmdCompany_Click();
    void cmdOwner_Click();
    void cmdModel_Click();

protected:
    void start() override;
    void clearRecord() override;
    void updateSaveEnabled() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildUi();
    void fillLists();
    void selectDefaultNature();
    void loadRecord();
    void listArrangedDrivers();
    bool canSave() const;
    // Asks whether to save changes when save is enabled; false when the
    // answer was Yes and the save failed.
    bool settleChanges();
    RecordSet recordFromForm() const;
};

} // namespace cg
