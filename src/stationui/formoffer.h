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

} // namespace cg
