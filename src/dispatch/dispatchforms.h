#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the dispatch library's forms (the departure gate, the dispatch
// centre, ...) to the workstation by name.
void RegisterDispatchForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
