#pragma once

#include "services/station/station.h"

#include <QVariantMap>

#include <functional>

class QObject;
class QWidget;

namespace cg {

class FingerprintEngine;

// What every screen receives: the station's data (database, session,
// parameters) plus the workstation's hooks for opening other subsystems'
// forms and attaching to the machine's fingerprint reader.
struct StationContext : StationData {
    // Opens a modal screen of another subsystem by its form name (for
    // example "frmTeckCheckList" from the departure gate), so screen
    // libraries never depend on each other. members are set as the form's
    // properties before it is shown; the result is every property of the
    // form after it closed (m_IsOk, m_ok, ...). An empty map means no such
    // form is available. The workstation installs it at start-up.
    using FormOpener = std::function<QVariantMap(QWidget *parent, const QString &form,
                                                 const QVariantMap &members)>;
    FormOpener openForm;
    // Shows a screen of another subsystem non-modal and brings it to the
    // front (the dispatch centre's vehicle register, the vehicle record).
    // There is one window per form name: a second request reuses it, sets
    // members again and runs its Open() when it has one. Returns the
    // window, or nullptr when no such form is available.
    using FormShower = std::function<QWidget *(QWidget *opener, const QString &form,
                                               const QVariantMap &members)>;
    FormShower showForm;
    // Whether openForm and showForm can show the named form: a screen disables the
    // buttons of forms not built into this workstation rather than offer
    // them to no effect. Unset means none is available.
    std::function<bool(const QString &form)> hasForm;

    // Makes the fingerprint engine a screen holds (owned by parent). The
    // workstation attaches every engine to the one reader of the machine
    // (the simulated reader in the demo and in tests).
    std::function<FingerprintEngine *(QObject *parent)> makeFingerprintEngine;
};

} // namespace cg
