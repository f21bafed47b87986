#pragma once

#include <QString>

#include <functional>

namespace cg {

struct Env;

QString ListQueryProgressText();          // "正在查询相关车次，请稍等..."
QString ListQueryDoneText(int count);     // "查询完毕,共N条记录"
QString ListQueryErrorText();             // "查询错误,请检查后继续"
// The vehicle lists word theirs apart: "正在查询相关车辆，请稍等..." and
// "查询完毕,  共N条记录".
QString ListQueryVehiclesProgressText();
QString ListQueryVehiclesDoneText(int count);

// The status line of every list query, in one place:
//   before  panel 1 shows the progress text (and the busy pointer);
//   after   panel 1 is cleared and panel 2 reads done(N), by default
//           "查询完毕,共N条记录";
//   failure panel 1 reads "查询错误,请检查后继续", the pointer comes back
//           and the error goes to ReportError.
// fill runs the query and writes the rows; it returns the record count.
// Rows already written when it fails stay. Returns false after a failure.
// An empty progress text means ListQueryProgressText().
bool RunListQuery(const Env &env, const std::function<int()> &fill,
                  const QString &progress = QString(), QString (*done)(int) = ListQueryDoneText);

} // namespace cg
