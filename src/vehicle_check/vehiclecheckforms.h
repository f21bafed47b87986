#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the vehicle inspection screens by form name: 常用定义, the condition
// and appearance check stations, their dialogs and the record lists.
void RegisterVehicleCheckForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
