// The check-in station as the workstation runs it, walked end to end: the
// demo station, the simulated reader with its window, real self-closing
// notices, and a known finger, an unknown finger, a card error and a
// check-in in a row. The reader's window must outlive every notice and
// dialog and still answer at the end.
#include "app/config.h"
#include "demoworkstation.h"
#include "app/frmnotify.h"
#include "app/screens.h"
#include "app/startup.h"
#include "core/clock.h"
#include "services/database/database.h"
#include "support/testsupport.h"
#include "tools/admin.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

// Records every box like the test sink, and shows every notice as the
// workstation does: the modal notice window, closing by itself.
class NoticeWindowSink : public test::RecordingMessageSink {
public:
    void notify(const QString &message, QWidget *parent) override
    {
        RecordingMessageSink::notify(message, parent);
        frmNotify notice(parent);
        notice.m_szErrorDescription = message;
        QTimer::singleShot(700, &notice, &QDialog::accept);
        notice.exec();
    }
};

QWidget *topLevel(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// A real click through the window system's path, where a window blocked by
// a modal one gets nothing.
void clickThroughWindow(QWidget *widget)
{
    QWidget *window = widget->window();
    QWindow *handle = window->windowHandle();
    QVERIFY(handle);
    const QPoint pos = widget->mapTo(window, widget->rect().center());
    QTest::mouseClick(handle, Qt::LeftButton, {}, pos);
}

// Presses until the station answers, as a driver presses again when nothing
// happens: a reader now and then takes a smudged print (the simulated one
// about one press in a hundred), which the station passes over.
template <typename Press, typename Answered>
bool pressUntilAnswered(Press press, Answered answered)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        press();
        if (QTest::qWaitFor(answered, 5000))
            return true;
    }
    return false;
}

} // namespace

class tst_checkin_walk : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readerSurvivesTheWalk();

private:
    void walk();
    void pressDriver(QWidget *simulator, int row);
    int gridRows() const;
    void checkInFirstTrip(QWidget *simulator, int driverRow);

    QTemporaryDir m_dir;
    QString m_db;
    NoticeWindowSink m_sink;
    ManualClock m_clock;
    QPointer<QWidget> m_station;
    QPointer<QWidget> m_simulator;
    QStringList m_steps; // the steps the walk finished
};

void tst_checkin_walk::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(u"demo.sqlite"_s);
    Database db(DbConfig::parse(m_db));
    db.migrate();
    seedDemoStation(db, QDate::currentDate());
    // The whole day's trips in the list, no forecast to wait for.
    db.exec(u"UPDATE sys_params SET param_value = '720' WHERE param_index IN (3, 4)"_s);
    db.exec(u"UPDATE sys_params SET param_value = '0' WHERE param_index = 12"_s);
}

int tst_checkin_walk::gridRows() const
{
    auto *grid = m_station ? m_station->findChild<FlexGrid *>(u"vsList"_s) : nullptr;
    return grid ? grid->rows() - grid->fixedRows() : -1;
}

void tst_checkin_walk::pressDriver(QWidget *simulator, int row)
{
    auto *list = simulator->findChild<QTreeWidget *>(u"lstDrivers"_s);
    QVERIFY(list && row < list->topLevelItemCount());
    list->setCurrentItem(list->topLevelItem(row));
    clickThroughWindow(simulator->findChild<QPushButton *>(u"cmdFormal"_s));
}

void tst_checkin_walk::checkInFirstTrip(QWidget *simulator, int driverRow)
{
    auto *grid = m_station->findChild<FlexGrid *>(u"vsList"_s);
    const int row = grid->fixedRows();
    // The driver presses again the moment the single-driver screen is up:
    // a press that soon must reach the station, not a window it blocks.
    bool answered = false;
    QTimer watch;
    watch.setInterval(5);
    connect(&watch, &QTimer::timeout, this, [&] {
        QWidget *single = QApplication::activeModalWidget();
        if (!single || single->objectName() != u"frmDriverVerifySingle")
            return;
        watch.stop();
        QCoreApplication::processEvents(); // the screen's own queued start
        const qsizetype noticesBefore = m_sink.notices.size();
        auto *name = single->findChild<QLabel *>(u"lblDriverName"_s);
        // Recorded (the driver's name shows) or refused with a notice.
        QVERIFY(pressUntilAnswered([&] { pressDriver(simulator, driverRow); }, [&] {
            return m_sink.notices.size() > noticesBefore || (name && !name->text().isEmpty());
        }));
        answered = true;
        if (auto *close = single->findChild<QLabel *>(u"lblClose"_s))
            QTest::mouseClick(close, Qt::LeftButton);
    });
    watch.start();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, grid->cols() - 1)).center());
    QVERIFY2(answered, "the single-driver screen did not answer the press");
}

void tst_checkin_walk::walk()
{
    QTRY_VERIFY_WITH_TIMEOUT((m_simulator = topLevel(u"frmFingerprintSimulator"_s)), 5000);
    m_station = QApplication::activeModalWidget();
    QVERIFY(m_station && m_station->objectName() == u"frmDriverVerify");
    auto *list = m_simulator->findChild<QTreeWidget *>(u"lstDrivers"_s);
    QVERIFY(list->topLevelItemCount() > 0);
    // The reader's window leaves the 确认 column and the buttons free.
    auto *grid = m_station->findChild<FlexGrid *>(u"vsList"_s);
    const QRect confirm(grid->viewport()->mapToGlobal(QPoint(grid->columnViewportPosition(grid->cols() - 1), 0)),
                        QSize(grid->columnWidth(grid->cols() - 1), grid->viewport()->height()));
    QVERIFY2(!m_simulator->frameGeometry().intersects(confirm), "the reader's window covers 确认");
    for (const char16_t *button : {u"cmdReturn", u"cmdRefresh", u"cmdNext"}) {
        auto *b = m_station->findChild<QPushButton *>(QString::fromUtf16(button));
        QVERIFY(!m_simulator->frameGeometry().intersects(QRect(b->mapToGlobal(QPoint(0, 0)), b->size())));
    }

    // 1. A known finger: find a driver with trips today.
    int driverRow = -1;
    for (int i = 0; i < list->topLevelItemCount() && driverRow < 0; ++i) {
        grid->setRows(grid->fixedRows()); // the rows this press lists, not the opening list
        pressDriver(m_simulator, i);
        QTest::qWait(100);
        if (gridRows() > 0)
            driverRow = i;
    }
    QVERIFY2(driverRow >= 0, "no demo driver has a trip today");
    QVERIFY(!m_sink.notices.contains(u"未能识别指纹，请重试"_s));
    m_steps << u"known"_s;

    // 2. An unknown finger: the notice comes and goes; the reader stays.
    const qsizetype noticesBeforeUnknown = m_sink.notices.size();
    QVERIFY(pressUntilAnswered([&] { clickThroughWindow(m_simulator->findChild<QPushButton *>(u"cmdUnknown"_s)); },
                               [&] { return m_sink.notices.size() > noticesBeforeUnknown; }));
    QCOMPARE(m_sink.notices.last(), u"未能识别指纹，请重试"_s);
    QTest::qWait(300);
    QVERIFY2(m_simulator && m_simulator->isVisible(), "the reader's window went with the notice");
    QCOMPARE(m_simulator->findChild<QLabel *>(u"lblLast"_s)->text(), u"已按：未登记的手指"_s);
    m_steps << u"unknown"_s;

    // 3. A card read of nine characters.
    QTest::keyClicks(m_station, u"123456789"_s);
    QTest::keyClick(m_station, Qt::Key_Return);
    QCOMPARE(m_sink.notices.last(), u"刷卡出错，请重刷！"_s);
    QTest::qWait(300);
    QVERIFY2(m_simulator && m_simulator->isVisible(), "the reader's window went with the card notice");
    m_steps << u"card"_s;

    // 4. A check-in: the driver's trips, 确认, the second press.
    QVERIFY(pressUntilAnswered([&] { pressDriver(m_simulator, driverRow); }, [&] { return gridRows() > 0; }));
    checkInFirstTrip(m_simulator, driverRow);
    QTest::qWait(300);
    QVERIFY2(m_simulator && m_simulator->isVisible(), "the reader's window went with the single-driver screen");
    m_steps << u"check-in"_s;

    // 5. Still there and answering: the next finger lists the driver's trips again.
    grid->setRows(grid->fixedRows());
    const qsizetype notices = m_sink.notices.size();
    QVERIFY(pressUntilAnswered([&] { pressDriver(m_simulator, driverRow); }, [&] { return gridRows() > 0; }));
    QCOMPARE(m_sink.notices.size(), notices);
    m_steps << u"answering"_s;
}

void tst_checkin_walk::readerSurvivesTheWalk()
{
    m_clock.set(QDateTime::currentDateTime());
    Env env;
    env.messages = &m_sink;
    env.clock = &m_clock;
    const AppConfig config = test::DemoWorkstationConfig(m_db, FingerReaderKind::Simulated);
    test::AcceptingClockSetter setter;
    Startup startup(env, setter);
    startup.checkInStation = CheckInStation(env);
    QTimer::singleShot(200, this, [this] {
        walk();
        // Leave the station as the exit password would.
        if (QWidget *station = QApplication::activeModalWidget(); station && station->objectName() == u"frmDriverVerify")
            station->close();
        else if (m_station)
            m_station->close();
    });
    QVERIFY(startup.Main(config));
    QCOMPARE(m_steps, (QStringList{u"known"_s, u"unknown"_s, u"card"_s, u"check-in"_s, u"answering"_s}));
    QVERIFY(m_simulator); // the workstation's, until the main window goes
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *tl : windows)
        tl->close();
}

QTEST_MAIN(tst_checkin_walk)
#include "tst_checkin_walk.moc"
