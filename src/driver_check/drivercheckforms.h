#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the driver identity library's forms (check-in station, boarding
// confirmation, driver lists, ...) to the workstation by name.
void RegisterDriverCheckForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
