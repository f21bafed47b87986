#pragma once

namespace cg {

class FormRegistry;
struct Env;
struct StationContext;

// Offers the query and report screens by form name: frmDriverBus (驾驶员报班
// 信息查询), frmBusForeInfo (强制信息查询) and frmReportCheck (系统报表).
void RegisterReportForms(FormRegistry &registry, const Env &env, StationContext &station);

} // namespace cg
