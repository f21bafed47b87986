#pragma once

namespace cg {

struct Env;
struct StationContext;
class mdiMain;

// Plugs the station screens into the main window's menu entries. Each
// screen folder adds its entries here as it is built.
void RegisterScreens(mdiMain &window, const Env &env, StationContext &station);

} // namespace cg
