#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QPushButton;

namespace cg {

struct Env;
struct StationContext;
class SheetPrinter;

// "签发路单": asks whether to print the route sheet of a trip (sheet type
// 0) or the condition check sheet of a vehicle (sheet type 1), and prints
// it on "是" (without a printer, or when printing fails, it says so and
// offers the sheet as a PDF file). The opener sets the members after construction; the sheet is
// prepared when the dialog is shown.
class frmPrintSheet : public QDialog {
    Q_OBJECT
    Q_PROPERTY(int m_SheetType MEMBER m_SheetType)
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(QString m_szStartTime MEMBER m_szStartTime)
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QString m_szSeatNum MEMBER m_szSeatNum)
    Q_PROPERTY(QString m_szEndStation MEMBER m_szEndStation)
    Q_PROPERTY(QString m_szBusDate MEMBER m_szBusDate)
    Q_PROPERTY(QString m_TechSheetTime MEMBER m_TechSheetTime)
    Q_PROPERTY(bool m_szStatus MEMBER m_szStatus)
    Q_PROPERTY(QString m_TechCause MEMBER m_TechCause)
    Q_PROPERTY(QString m_Company MEMBER m_Company)
public:
    frmPrintSheet(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmPrintSheet() override;

    // The prepared label/value table (empty before preparing or for an
    // unknown sheet type).
    QList<QStringList> sheetTable() const { return m_table; }
    QString templatePath() const;
    SheetPrinter *sheetPrinter() const { return m_printer; }

    // Builds the table of the sheet type and hands it to the sheet printer;
    // runs once, when the dialog is first shown.
    void prepareSheet();

    // Prints the prepared sheet; a failure is ignored (it is in the log).
    // Public: the screen pictures tool (tools/docshots) prints through it.
    void PrintSheetReport();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void cmdYes_Click();
    void cmdNo_Click();
    QString tripDriverName(const QDateTime &busDate) const;
    QString startStation() const;
    // After a sheet could not be printed: says why and offers it as a PDF.
    void offerPdf(const QString &why);

    const Env &m_env;
    StationContext &m_station;
    QLabel *lblMessage = nullptr;
    QPushButton *cmdYes = nullptr;
    QPushButton *cmdNo = nullptr;
    SheetPrinter *m_printer = nullptr;
    QList<QStringList> m_table;
    bool m_prepared = false;

    int m_SheetType = 0;
    QString m_szLicense;
    QString m_szStartTime;
    QString m_szBusID;
    QString m_szSeatNum;
    QString m_szEndStation;
    QString m_szBusDate;
    QString m_TechSheetTime;
    bool m_szStatus = false;
    QString m_TechCause;
    QString m_Company;
};

// The date line of the route sheet: year, month and day without leading
// zeros, separated by two full-width spaces ("2013　　12　　7").
QString RouteSheetDateText(const QDate &date);

} // namespace cg
