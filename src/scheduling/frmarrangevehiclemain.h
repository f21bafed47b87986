#pragma once

#include "stationui/registerscreen.h"

#include <QDate>
#include <QHash>

#include <functional>

class QComboBox;
class QDialog;
class QPushButton;

namespace cg {

// One arrangement as the register knows it: its key (vehicle, driver, start
// day) and what the dialogs are handed.
struct ArrangementRow {
    QString vehicle;
    QString driver;
    QDate start;
    QDate end;
    QString driverName;
    QString plate;
    QString memo;

    // The row key: driver[vehicle]@yyyy-MM-dd.
    QString key() const;
    static ArrangementRow fromKey(const QString &key);
};

// 驾驶员车辆管理 (the arrangement register): arrangements found by driver,
// vehicle and company, and the way into generating (新增), modifying (修改 or
// a double click), deleting and substituting (顶班) them.
class frmArrangeVehicleMain : public RegisterScreen {
    Q_OBJECT
public:
    frmArrangeVehicleMain(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmArrangeVehicleMain() override;

    enum Column { ColNo, ColDriver, ColPlate, ColModel, ColStart, ColEnd, ColOwner, ColCompany, ColMemo };

    // Shows the modal dialogs (tests drive them through it instead).
    std::function<void(QDialog &)> runDialog;

    QString Fragment() const;
    // The arrangement of a data row (empty when the row is not one).
    ArrangementRow rowArrangement(int row) const;
    // After a modification: rewrites the row of the arrangement that was
    // modified (original key) with the one found under its new key. Called
    // by the modify dialog.
    void UpdateOneLine(const QString &vehicle, const QString &driver, const QDate &newStart,
                       const QString &originalKey);

protected:
    void cmdQuery_Click() override;
    void cmdAdd_Click() override;
    void cmdEdit_Click() override;
    void writeRow(int r, const RecordSet &rs) override;
    QString recordKey(const RecordSet &rs) const override;
    RecordSet lookupRecord(const QString &key, Lookup kind) override;
    bool deleteRecord(const QString &key, QString *reason) override;

private:
    void cmdChange_Click();
    // Opens a dialog of this type on the current row's arrangement (its
    // driver and vehicle set, then whatever fill sets); without a current
    // arrangement only the notice.
    template <class Dialog, class Fill>
    void runOnCurrentArrangement(const QString &notice, Fill fill);

    QHash<QString, ArrangementRow> m_rows;

    PlaceholderBox *txtDriverID, *txtDriverName, *txtLicenseID, *txtLicense;
    QComboBox *cboCompany;
};

} // namespace cg
