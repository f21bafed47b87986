#pragma once

#include "app/config.h"

#include <functional>

namespace cg {

struct Env;
struct StationContext;
class mdiMain;

// Plugs the station screens into the main window's menu entries. Each
// screen folder adds its entries here as it is built.
// reader: the fingerprint reader the stations attach to (the simulated one
// with its 模拟指纹仪 window, or none connected).
void RegisterScreens(mdiMain &window, const Env &env, StationContext &station,
                     FingerReaderKind reader = FingerReaderKind::None);

// The check-in station start-up shows modally once the main window is up;
// empty while there is none, and start-up goes straight on.
std::function<void(mdiMain &, StationContext &)> CheckInStation(const Env &env);

} // namespace cg
