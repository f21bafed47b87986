#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the master-data screens by form name: the driver register
// (frmDriverMain), the driver record (frmDriver), the vehicle register
// (frmVehicleMain) and the vehicle record (frmVehicle).
void RegisterMasterDataForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
