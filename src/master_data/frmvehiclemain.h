#pragma once

#include "stationui/registerscreen.h"

class QComboBox;
class QDateEdit;
class QPushButton;

namespace cg {

class frmVehicle;

// 车辆档案 (the vehicle register): vehicles found by code, plate, IC card,
// status, nature and whether they are arranged on a date, and the way into
// the vehicle record for adding, editing and deleting.
class frmVehicleMain : public RegisterScreen {
    Q_OBJECT
    // Set by the opener: "9" the main window's menu; from the dispatch
    // centre "1" every vehicle, "2" arranged today, "3" not arranged today,
    // "4" unusable (condition check failed), "5" temporary vehicles.
    Q_PROPERTY(QString m_szType READ type WRITE setType)
public:
    frmVehicleMain(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmVehicleMain() override;

    enum Column { ColNo, ColCode, ColPlate, ColNature, ColCard, ColRemark, ColReturn, ColCondition, ColReturnTime };

    QString type() const { return m_type; }
    // Takes the opener's type and sets the filters to its preset; the list
    // of the preset's vehicles follows at once (the menu's "9" and the
    // dispatch centre's "1" list nothing until 查询).
    void setType(const QString &type);

    // The filter fragment of the boxes and lists (the preset's own fragment
    // when one is pending).
    QString Fragment() const;
    // The record screen (nullptr until first opened).
    frmVehicle *recordScreen() const;
    // The lamp codes of a data row, as read from the database.
    int returnLamp(int row) const;
    int conditionLamp(int row) const;

protected:
    void cmdQuery_Click() override;
    void cmdDelete_Click() override;
    void writeRow(int r, const RecordSet &rs) override;
    RecordSet lookupRecord(const QString &key, Lookup kind) override;
    bool deleteRecord(const QString &key, QString *reason) override;
    RecordScreen *makeRecordScreen() override;

private:
    void resetFilters();
    QString m_type;
    // A preset's own fragment, used by the next query only.
    QString m_presetFragment;
    // Lamp codes by data row key.
    QHash<QString, QPair<int, int>> m_lamps;

    PlaceholderBox *txtLicenseID, *txtLicense, *txtICCard;
    QComboBox *cboStatus, *cboServiceKind, *cboArrange;
    QDateEdit *dtpArrangeDate;
};

} // namespace cg
