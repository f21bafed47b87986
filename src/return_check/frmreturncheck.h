#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace cg {

class CheckNotifier;
class CheckService;
class FlexGrid;
class RecordSet;

// 回场报班: the station's vehicles with their return state. A return is
// registered by the vehicle's IC card or by confirming its row, and can be
// cancelled; rows change when the ReturnCheck notification arrives, except
// that a cancellation redraws its own row at once. A panel shows the latest
// return this station registered and the five before it.
class frmReturnCheck : public QWidget {
    Q_OBJECT
public:
    frmReturnCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmReturnCheck() override;

    // Grid columns.
    enum Col { ColLicenseId, ColModel, ColLicense, ColCard, ColCompany, ColKind, ColStatus, ColTime, ColChecker };
    static constexpr int kRecentEntries = 6;

private:
    void cmdQuery_Click();
    void cmdStartCheck_Click();
    void cmdRemoveCheck_Click();
    void cmdAddVehicle_Click();
    void txtLicense_Enter();
    void vsList_Click();
    void moMsg_ReturnCheck(const QString &license, const QDateTime &date, int status, const QDateTime &returnTime,
                           const QString &checker);

    // One entry of the recent-returns panel.
    struct Recent {
        QString time;
        QString license;
        QString card;
        QString licenseId;
    };

    QString buildFilter() const;
    void loadList();
    void fillRecentFromService();
    void showRecent();
    void registered(const Recent &entry);
    int selectedRow() const;
    // Runs action on the selected row once the operator confirms that its
    // vehicle is in the given whereabouts (回到场内, 未回场内); failures are
    // shown in a box.
    void withConfirmedRow(const QString &whereabouts, const std::function<void(int row, const QString &plate)> &action);
    void updateButtons();
    void resetPlateBox();
    void drawReturn(int row, int status, const QDateTime &returnTime, const QString &checker);

    Env m_env;
    StationContext &m_station;
    std::unique_ptr<CheckService> m_checks;
    int m_markedRow = -1;
    QList<Recent> m_recent; // newest first, at most kRecentEntries
    QLabel *m_recentTime[kRecentEntries] = {};
    QLabel *m_recentLicense[kRecentEntries] = {};
    QLabel *m_recentCard[kRecentEntries] = {};
    QLabel *m_recentLicenseId = nullptr;
    CheckNotifier *moMsg = nullptr;

    QLineEdit *txtLicense = nullptr;
    QPushButton *cmdQuery = nullptr, *cmdStartCheck = nullptr /* 回场确认 (F4) */,
                *cmdRemoveCheck = nullptr /* 回场取消 (F5) */, *cmdAddVehicle = nullptr;
    FlexGrid *vsList = nullptr;
};

} // namespace cg
