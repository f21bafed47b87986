#pragma once

#include <functional>

namespace cg {

struct Env;
struct StationContext;
class mdiMain;

// Plugs the station screens into the main window's menu entries. Each
// screen folder adds its entries here as it is built.
void RegisterScreens(mdiMain &window, const Env &env, StationContext &station);

// The check-in station start-up shows modally once the main window is up;
// empty while there is none, and start-up goes straight on.
std::function<void(mdiMain &, StationContext &)> CheckInStation(const Env &env);

} // namespace cg
