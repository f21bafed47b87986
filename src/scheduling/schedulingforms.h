#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the scheduling screens by form name: the arrangement register and
// its dialogs, and the rolling trip register and record.
void RegisterSchedulingForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
