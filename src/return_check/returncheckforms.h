#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the return check station (回场报班) to the workstation by name.
void RegisterReturnCheckForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
