#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"
#include "widgets/listreport.h"

#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;

namespace cg {

class PeriodChart;
class SheetPrinter;

// 系统报表: the condition check statistics (report 0) and the departure
// statistics (report 1) of a period, optionally of one vehicle, filled into
// their sheet templates by the sheet printer, with a chart of the period.
// The product bar and the File menu export, preview and print the last
// filled sheet; a failure of any of them is reported to the operator.
class frmReportCheck : public QWidget, public IListReport {
    Q_OBJECT
public:
    frmReportCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);

    static QString reportName(int index);
    static QString templateName(int index);

    // The record count of the last run.
    int recordCount() const { return m_count; }

    void ExportFile() override;
    void ExportFileOpen() override;
    void PrintReport(bool pbShowDialog) override;
    void PreView() override;
    void PageSet() override {}
    void PrintSet() override {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Runs the selected report (the row count is not used): 查询.
    Q_INVOKABLE void Fill(int rows);
    void Command1_Click();
    // The query pane hidden by its close mark, and shown again by the arrow.
    void flbClose_Click();
    void imgOpen_Click();
    void cboType_Click();

    void status(const QString &text, int panel);
    // Export through the sheet printer; the written path, "" when cancelled
    // or failed (a failure has been reported).
    QString exportSheet();
    bool requireSheet();

    Env m_env;
    StationContext &m_station;
    int m_count = 0;

    QWidget *ptQuery;
    QLabel *FlatLabel1, *flbClose, *lblTitle, *imgOpen;
    QComboBox *cboType;
    QDateEdit *dtpStartDate, *dtpEndDate;
    QLineEdit *txtVehicle;
    PeriodChart *chtPeriod;
    SheetPrinter *sheet;
};

} // namespace cg
