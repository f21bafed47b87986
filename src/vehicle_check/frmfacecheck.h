#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

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
class frmFaceCheck : public QWidget {
    Q_OBJECT
public:
    frmFaceCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmFaceCheck() override;

    enum Col { ColBusId, ColDate, ColStart, ColEnd, ColLicense, ColCompany, ColLamp, ColTime, ColCount, ColChecker };

    QDateEdit *dtpDate = nullptr;
    QLabel *lblDate = nullptr;
    QLineEdit *txtBusID = nullptr;
    QLineEdit *txtLicenseID = nullptr;
    QPushButton *cmdQuery = nullptr;
    QPushButton *cmdTodayBus = nullptr;
    QPushButton *cmdStartCheck = nullptr;
    QPushButton *cmdCheckList = nullptr;
    QPushButton *cmdRemoveCheck = nullptr;
    QToolButton *tbMin = nullptr;
    QToolButton *tbClose = nullptr;
    FlexGrid *vsList = nullptr;
    CheckNotifier *moMsg = nullptr;

    // Runs the dialog and the record list modally (tests drive them).
    std::function<int(QDialog *)> runDialog;

public slots:
    void cmdQuery_Click();
    void cmdTodayBus_Click();
    void cmdStartCheck_Click();
    void cmdCheckList_Click();
    void cmdRemoveCheck_Click();
    void vsList_Click();
    void quickVerdict(bool passed); // F4 / F5
    void moMsg_FaceCheck(const QString &busId, const QDateTime &busDate, int status, int count,
                         const QDateTime &checkTime, const QString &checker);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadList();
    QString filterText(const QLineEdit *box, const QString &placeholder) const;
    int selectedRow() const;
    QDateTime rowDate(int row) const;

    Env m_env;
    StationContext &m_station;
};

} // namespace cg
