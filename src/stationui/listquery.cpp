#include "stationui/listquery.h"

#include "widgets/env.h"
#include "widgets/messages.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace cg {

QString ListQueryProgressText()
{
    return u"正在查询相关车次，请稍等..."_s;
}

QString ListQueryDoneText(int count)
{
    return u"查询完毕,共%1条记录"_s.arg(count);
}

QString ListQueryErrorText()
{
    return u"查询错误,请检查后继续"_s;
}

QString ListQueryVehiclesProgressText()
{
    return u"正在查询相关车辆，请稍等..."_s;
}

QString ListQueryVehiclesDoneText(int count)
{
    return u"查询完毕,  共%1条记录"_s.arg(count);
}

bool RunListQuery(const Env &env, const std::function<int()> &fill, const QString &progress,
                  QString (*done)(int))
{
    const auto status = [&](const QString &text, int panel) {
        if (env.status)
            env.status->SetStatusText(text, panel);
    };
    status(progress.isEmpty() ? ListQueryProgressText() : progress, 1);
    try {
        const int count = fill();
        status(QString(), 1);
        status(done(count), 2);
        return true;
    } catch (const std::exception &e) {
        status(ListQueryErrorText(), 1);
        // Panel 2 gives the pointer back; the error text stays in panel 1.
        status(QString(), 2);
        if (env.messages)
            ReportError(*env.messages, e);
        return false;
    }
}

} // namespace cg
