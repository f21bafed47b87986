#pragma once

#include "checkstation.h"

#include <QDateTime>
#include <QWidget>

#include <functional>

class QDateEdit;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace cg {

class CheckNotifier;
class FlexGrid;

// 车容检查: the day's trips with their appearance check. Verdicts are given
// in the dialog or with F4/F5; rows change when FaceCheck arrives.
class frmFaceCheck : public CheckStation {
    Q_OBJECT
public:
    frmFaceCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmFaceCheck() override;

    enum Col { ColBusId, ColDate, ColStart, ColEnd, ColLicense, ColCompany, ColLamp, ColTime, ColCount, ColChecker };

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdQuery_Click() override;
    void cmdTodayBus_Click();
    void cmdStartCheck_Click() override;
    void cmdCheckList_Click() override;
    void cmdRemoveCheck_Click() override;
    void vsList_Click() override;
    void quickVerdict(bool passed) override;
    void moMsg_FaceCheck(const QString &busId, const QDateTime &busDate, int status, int count,
                         const QDateTime &checkTime, const QString &checker);
    void loadList();
    QString filterText(const QLineEdit *box, const QString &placeholder) const;
    QDateTime rowDate(int row) const;

    QLabel *lblDate = nullptr;
    QLineEdit *txtBusID = nullptr, *txtLicenseID = nullptr;
    QPushButton *cmdTodayBus = nullptr;
};

} // namespace cg
