#pragma once

#include <QHash>
#include <QString>
#include <QVariantMap>

#include <functional>

class QWidget;

namespace cg {

// The forms of the screen libraries by name ("frmOutCheck",
// "frmTeckCheckList", ...). Each screen library registers its forms; the
// workstation opens menu screens through it, and a screen opens another
// subsystem's modal form by name, so screen libraries never depend on each
// other.
class FormRegistry {
public:
    using Factory = std::function<QWidget *(QWidget *parent)>;

    void add(const QString &form, Factory factory);
    bool contains(const QString &form) const { return m_factories.contains(form); }
    QStringList forms() const { return m_factories.keys(); }

    // A new instance of the form, or nullptr when no library offers it.
    QWidget *create(const QString &form, QWidget *parent) const;

    // Creates the form, sets members as its properties (the public members
    // the opener fills: m_szBusID, m_dtBusDate, ...), shows it modally and
    // returns every property of the form after it closed (m_IsOk, m_ok, ...).
    // An empty map means the form is not available.
    QVariantMap runModal(QWidget *parent, const QString &form, const QVariantMap &members) const;

    // Called with each modal form just before it is shown (tests use it to
    // drive the form while it runs).
    void setBeforeShowHook(std::function<void(QWidget *form)> hook) { m_beforeShow = std::move(hook); }

private:
    QHash<QString, Factory> m_factories;
    std::function<void(QWidget *)> m_beforeShow;
};

} // namespace cg
