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
    void cmdQuery_Click();
    void cmdTodayBus_Click();
    void cmdStartCheck_Click();
    void cmdCheckList_Click();
    void cmdRemoveCheck_Click();
    void vsList_Click();
    void quickVerdict(bool passed); // F4 / F5
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
