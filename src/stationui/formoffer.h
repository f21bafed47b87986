#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"
#include "widgets/formregistry.h"

namespace cg {

// Offers a screen by its form name: the registry makes it with the
// workstation's Env and station. The station outlives the registry.
template <typename Form>
void OfferForm(FormRegistry &registry, const QString &name, const Env &env, StationContext &station)
{
    StationContext *st = &station;
    registry.add(name, [env, st](QWidget *parent) -> QWidget * { return new Form(env, *st, parent); });
}

// The name a screen is registered and opened by: its class name.
template <typename Form>
QString FormName()
{
    const QString name = QString::fromLatin1(Form::staticMetaObject.className());
    return name.mid(name.lastIndexOf(u':') + 1);
}

// Offers each of the screens Forms... by its class name.
template <typename... Forms>
void OfferForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    (OfferForm<Forms>(registry, FormName<Forms>(), env, station), ...);
}

} // namespace cg
