#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace cg {

class CheckService;
class FlexGrid;

// 车况检验: the verdict of one condition check, item by item. The failed
// items are listed in the remark, which is what the data service keeps.
class frmCondCheckItem : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(int m_nCount MEMBER m_nCount)
public:
    frmCondCheckItem(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmCondCheckItem() override;

    QString m_szLicense;
    int m_nCount = 0;

    // Loads the check items; throws when they cannot be read (the opener
    // reports it and does not show the dialog).
    void Form_Load();

    // The remark after the mark of item name changed to "√" or "×".
    static QString RemarkAfterMark(const QString &remark, const QString &name, bool failed);

    // The vehicle's header: plate, company, model and its lamp code.
    void setVehicle(const QString &plate, const QString &company, const QString &model, int condStatus);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void vsList_Click(int row, int col);
    void verdict(bool passed);
    void cmdNotPass_Click();
    void cboCause_Change(const QString &text);

    QLabel *lblLicenseID = nullptr, *lblCompany = nullptr, *lblBuskind = nullptr, *lblStatus = nullptr;
    FlexGrid *vsList = nullptr;
    QPlainTextEdit *txtCheckCause = nullptr;
    QComboBox *cboCause = nullptr;

    Env m_env;
    StationContext &m_station;
    std::unique_ptr<CheckService> m_checks;
    bool m_loaded = false;
};

} // namespace cg
