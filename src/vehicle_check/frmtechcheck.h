#pragma once

#include "checkstation.h"

#include <QDateTime>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QDateEdit;
class QDialog;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace cg {

class CheckNotifier;
class CheckService;
class FlexGrid;
class RecordSet;

// 车况门检: the vehicles due for or done with the safety routine inspection.
// A vehicle is taken into the check by its IC card or its row, its verdict
// is given in the item dialog or with F4/F5, and rows change only when the
// TechCheck notification arrives.
class frmTechCheck : public CheckStation {
    Q_OBJECT
public:
    frmTechCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmTechCheck() override;

    // Grid columns.
    enum Col { ColLicense, ColCard, ColCompany, ColReturn, ColCond, ColReturnTime, ColCount, ColChecker, ColTime };

private:
    void cmdQuery_Click() override;
    void cmdStartCheck_Click() override;
    void cmdCheckList_Click() override;
    void cmdRemoveCheck_Click() override;
    void txtLicense_Enter();
    void vsList_Click() override;
    void quickVerdict(bool passed) override;
    void moMsg_TechCheck(const QString &license, const QDateTime &checkDate, int status, int count,
                         const QDateTime &checkTime, const QString &checker);
    void loadList();
    QString buildFilter() const;
    void fillRow(int row, const RecordSet &rs, int record);
    void startCheck(const RecordSet &vehicle);
    // The condition lamp code of a row as it was last written (-1 none).
    int condLamp(int row) const;
    void setCondLamp(int row, int status);
    void resetPlateBox();
    void refuseCard(const QString &text);
    // The vehicle the filter finds; none or more than one is refused with a
    // box (and the plate box emptied).
    RecordSet oneVehicle(const QString &filter);
    // Trap, with the plate box emptied when the handler fails.
    void trapClearingPlate(const std::function<void()> &handler);

    QLineEdit *txtLicense = nullptr;
    QCheckBox *chkIsToday = nullptr;

    std::unique_ptr<CheckService> m_checks;
    int m_markedRow = -1;
};

} // namespace cg
