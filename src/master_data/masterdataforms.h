#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the master-data screens by form name: the driver register
// (frmDriverMain) and the driver record (frmDriver).
void RegisterMasterDataForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
