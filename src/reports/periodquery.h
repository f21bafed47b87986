#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QWidget>

#include <memory>

class QDateEdit;
class QFrame;
class QPushButton;

namespace cg {

class FlexGrid;
class RecordSet;


// The frame the two period queries share: a top band with its decorative
// bar, and a main panel with the query bar (start date, end date, 查询) and
// the result grid. The range defaults to the current month; each query
// replaces the grid, with the progress and the record count in the main
// window's status bar. The grid exports through the File menu and the
// product bar (an .xls text table or an .xlsx workbook); there is nothing
// to print.
class PeriodQuery : public QWidget {
    Q_OBJECT
public:
    ~PeriodQuery() override;

protected:
    PeriodQuery(const Env &env, StationContext &station, const QString &formName, const QString &caption,
                const QStringList &headings, const QString &progressText, QWidget *parent);

    // The records of the picked range (the pickers' days, as the screen
    // shows them).
    virtual RecordSet fetch(const QDate &from, const QDate &to) = 0;
    // The grid cells of the record at the current position, from column 1
    // on (column 0 is the running number).
    virtual QStringList cells(const RecordSet &records) = 0;

    bool eventFilter(QObject *watched, QEvent *event) override;

    Env m_env;
    StationContext &m_station;

private:
    // 查询: the grid refilled from the picked range.
    void cmdQuery_Click();
    void placeMenuBar();

    QString m_progressText;
    int m_menuDesignWidth = -1;

    QFrame *ptTop, *fraMenu;
    QDateEdit *dtpStartDate, *dtpEndDate;
    FlexGrid *vsList;
};

// 驾驶员报班信息查询: every driver check-in registered in the range,
// cancelled ones too.
class frmDriverBus : public PeriodQuery {
    Q_OBJECT
public:
    frmDriverBus(const Env &env, StationContext &station, QWidget *parent = nullptr);

protected:
    RecordSet fetch(const QDate &from, const QDate &to) override;
    QStringList cells(const RecordSet &records) override;
};

// 强制信息查询: the forced passes recorded in the range.
class frmBusForeInfo : public PeriodQuery {
    Q_OBJECT
public:
    frmBusForeInfo(const Env &env, StationContext &station, QWidget *parent = nullptr);

    // The release type as the list shows it: 1 车容门检, 2 车容车况, 3 驾驶员,
    // anything else empty.
    static QString passTypeText(const QVariant &passType);

protected:
    RecordSet fetch(const QDate &from, const QDate &to) override;
    QStringList cells(const RecordSet &records) override;
};

} // namespace cg
