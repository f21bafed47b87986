#include "checkstation.h"

#include "checkhelpers.h"
#include "stationui/titledwindow.h"
#include "widgets/grid.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"

#include <QDialog>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

CheckStation::CheckStation(const Env &env, StationContext &station, const QString &formName,
                           const QString &caption, const QString &keyLegend, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station)
{
    runDialog = [](QDialog *d) { return d->exec(); };
    const StationFrame frame =
        BuildStationFrame(BeginTitledWindow(this, formName, caption, QSize(1100, 640)), keyLegend);
    m_frameLayout = frame.layout;
    m_filterRow = frame.filterRow;
    vsList = frame.grid;
}

int CheckStation::selectedRow() const { return CurrentDataRow(vsList); }

void CheckStation::withSelectedRow(const std::function<void(int)> &action)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    Trap(*m_env.messages, [&] { action(row); });
}

bool CheckStation::confirmVerdict(const QString &title, const QString &subject, bool passed)
{
    const MessageBoxSpec ask = passed
        ? MessageBoxSpec{title, u"您确认"_s + subject + u"合格吗？"_s, MsgIcon::Question, MsgButtons::YesNo}
        : MessageBoxSpec{title, u"您确认"_s + subject + u"不合格吗？"_s, MsgIcon::Critical, MsgButtons::YesNo};
    return m_env.messages->show(ask, this) == MsgAnswer::Yes;
}

void CheckStation::connectControls(QHash<int, std::function<void()>> ownKeys)
{
    connect(cmdQuery, &QPushButton::clicked, this, &CheckStation::cmdQuery_Click);
    connect(cmdStartCheck, &QPushButton::clicked, this, &CheckStation::cmdStartCheck_Click);
    connect(cmdCheckList, &QPushButton::clicked, this, &CheckStation::cmdCheckList_Click);
    connect(cmdRemoveCheck, &QPushButton::clicked, this, &CheckStation::cmdRemoveCheck_Click);
    connect(vsList, &QTableWidget::cellClicked, this, [this] { vsList_Click(); });
    ownKeys.insert(Qt::Key_F4, [this] { quickVerdict(true); });
    ownKeys.insert(Qt::Key_F5, [this] { quickVerdict(false); });
    ownKeys.insert(Qt::Key_F8, [this] { cmdQuery_Click(); });
    new FormKeys(this, std::move(ownKeys));
}

int CheckStation::rowToWithdraw(const QString &title)
{
    if (m_env.messages->show({title, u"您确认本次操作吗？"_s, MsgIcon::Question, MsgButtons::OkCancel}, this) ==
        MsgAnswer::Cancel)
        return -1;
    return selectedRow();
}

} // namespace cg
