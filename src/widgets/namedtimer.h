#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace cg {

// A timer of owner named name (the name of the form's timer control),
// calling owner's slot every msec milliseconds once it is started; it is
// not started here.
template <typename Owner>
QTimer *NamedTimer(Owner *owner, const QString &name, int msec, void (Owner::*slot)())
{
    auto *timer = new QTimer(owner);
    timer->setObjectName(name);
    timer->setInterval(msec);
    QObject::connect(timer, &QTimer::timeout, owner, slot);
    return timer;
}

} // namespace cg
