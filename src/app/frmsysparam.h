#pragma once

#include "widgets/env.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace cg {

class SysParamStore;

// The system parameters dialog: reads the fifteen parameters when it opens,
// remembers which fields the operator changed and writes back only those.
// Start-up reads the parameters once, so new values apply at the next start.
class frmSysParam : public QDialog {
    Q_OBJECT
public:
    frmSysParam(const Env &env, SysParamStore &store, QWidget *parent = nullptr);

    // Whether parameter index (1..15) was changed since the last write.
    bool isChanged(int index) const;

    // The numeric value of a text: its leading number, 0 when there is none.
    static double LeadingNumber(const QString &text);

private:
    void cmdSave_Click();
    void cmdClose_Click();
    // Whole-number parameters (minutes, font size, pixels).
    static bool isWholeNumber(int index);
    // The complaint about the first changed number box that holds no
    // number ("" when all do); badIndex gets its parameter index.
    QString invalidNumber(int *badIndex) const;
    void Form_Load();
    QLineEdit *addText(int index, const QString &name);
    void markChanged(int index);
    QVariant storedValue(int index) const;

    const Env &m_env;
    SysParamStore &m_store;
    bool m_loading = false;
    std::array<bool, 16> m_changed{};
    std::array<QLineEdit *, 16> m_text{};
    std::array<QCheckBox *, 16> m_check{};

    QComboBox *cboFontSize = nullptr;
    QTabWidget *tabParam = nullptr;
    QPushButton *cmdSave = nullptr;
};

} // namespace cg
