#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"
#include "widgets/listreport.h"

#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;

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

    QSplitter *splitter = nullptr;
    QWidget *ptQuery = nullptr;
    QWidget *ptResult = nullptr;
    QLabel *FlatLabel1 = nullptr;
    QLabel *flbClose = nullptr;
    QComboBox *cboType = nullptr;
    QDateEdit *dtpStartDate = nullptr;
    QDateEdit *dtpEndDate = nullptr;
    QLineEdit *txtVehicle = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *imgOpen = nullptr;
    PeriodChart *chtPeriod = nullptr;
    SheetPrinter *sheet = nullptr;

    // The record count of the last run.
    int recordCount() const { return m_count; }

    // Runs the selected report (the row count is not used).
    Q_INVOKABLE void Fill(int rows);

    void ExportFile() override;
    void ExportFileOpen() override;
    void PrintReport(bool pbShowDialog) override;
    void PreView() override;
    void PageSet() override {}
    void PrintSet() override {}

public slots:
    void Command1_Click();
    void flbClose_Click();
    void imgOpen_Click();
    void cboType_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void status(const QString &text, int panel);
    // Export through the sheet printer; the written path, "" when cancelled
    // or failed (a failure has been reported).
    QString exportSheet();
    bool requireSheet();

    Env m_env;
    StationContext &m_station;
    int m_count = 0;
};

} // namespace cg
