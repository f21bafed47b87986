#pragma once

#include "app/config.h"

#include <functional>

namespace cg {

struct Env;
class FormRegistry;
struct StationContext;
class mdiMain;

// Plugs the station screens into the main window's menu entries. Each
// screen folder adds its entries here as it is built.
// reader: the fingerprint reader the stations attach to (the simulated one
// with its 模拟指纹仪 window, or none connected).
// moreForms registers the forms of further screen libraries (and tests'
// stand-ins); the menu entries of their forms light up with them.
void RegisterScreens(mdiMain &window, const Env &env, StationContext &station,
                     FingerReaderKind reader = FingerReaderKind::None,
                     const std::function<void(FormRegistry &)> &moreForms = {});

// Registers the forms of every screen library, as the workstation offers them.
void RegisterEveryForm(FormRegistry &registry, const Env &env, StationContext &station);

// The check-in station start-up shows modally once the main window is up;
// empty while there is none, and start-up goes straight on.
std::function<void(mdiMain &, StationContext &)> CheckInStation(const Env &env);

} // namespace cg
