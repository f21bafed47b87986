// Renders the workstation's own windows to PNG files for the documentation:
//   render_screens OUTPUT_DIR [DATABASE]
// Runs offscreen against a throwaway SQLite station, or the given database.
#include "shots.h"

#include "app/frmcheckpass.h"
#include "app/frmnotify.h"
#include "app/frmsysparam.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/sysparamstore.h"
#include "core/clock.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

using namespace Qt::StringLiterals;

using namespace cg;
using namespace cg::shots;

namespace {

class NoClockSetter : public SystemClockSetter {
public:
    void setSystemClock(const QDateTime &) override {}
};

void save(QWidget *w, const QString &dir, const QString &name)
{
    QApplication::processEvents();
    w->grab().save(dir + QLatin1Char('/') + name);
}

// A window frame around a grabbed dialog, so the captions show.
QImage framed(QWidget *w)
{
    const QPixmap body = w->grab();
    const int title = 28;
    QImage image(body.width() + 2, body.height() + title + 1, QImage::Format_ARGB32);
    image.fill(QColor(0x4a, 0x6f, 0xa5));
    QPainter p(&image);
    p.setPen(Qt::white);
    QFont f = w->font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(10, 0, image.width() - 20, title), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
    p.drawPixmap(1, title, body);
    return image;
}

} // namespace

int cg::shots::shotsApp(const QString &out)
{
    QDir().mkpath(out);

    QTemporaryDir tmp;
    // The main window over an almost empty station: the frame, not the data.
    const QString dbPath = tmp.filePath(u"demo.sqlite"_s);
    {
        Database db(DbConfig::parse(dbPath));
        db.migrate();
        db.exec(u"DELETE FROM sys_params"_s);
        db.exec(u"INSERT INTO operators(operator_code, operator_name, station_code, unit_code, unit_name) "
                u"VALUES ('wg', '王刚', '440100001', '440101', '广州市天河客运站')"_s);
        const QStringList values{u"粤"_s, u"8888"_s, u"30"_s,
                                 u"60"_s, u"12"_s, u"请稍候"_s,
                                 u"安检合格"_s, u"安检不合格"_s, u"64"_s,
                                 u"256"_s, u"30"_s, u"1"_s,
                                 u"0"_s, u"0"_s, u"24"_s};
        for (int i = 0; i < values.size(); ++i)
            db.exec(u"INSERT INTO sys_params(param_index, param_value) VALUES (?, ?)"_s,
                    {i + 1, values.at(i)});
    }

    QuietSink sink;
    SystemClock clock;
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    NoClockSetter setter;
    Startup startup(env, setter);
    AppConfig config;
    config.operatorCode = u"wg"_s;
    config.stationCode = u"440100001"_s;
    config.unitCode = u"440101"_s;
    config.sessionCode = u"CGS"_s;
    config.databaseSpec = dbPath;
    if (!startup.Main(config)) {
        qWarning("start-up failed");
        return 1;
    }
    mdiMain *w = startup.mainWindow();
    w->resize(1100, 680);
    // Two stand-in child windows so the frame shows how screens sit in it.
    for (const QString &title : {u"驾驶员报班信息"_s, u"强制信息查询"_s}) {
        QMdiSubWindow *sub = w->openChild(title, [title] {
            auto *page = new QLabel(title);
            page->setAlignment(Qt::AlignCenter);
            page->setWindowTitle(title);
            page->setMinimumSize(420, 240);
            return page;
        });
        sub->resize(460, 280);
    }
    w->mdiArea()->cascadeSubWindows();
    w->imgProduct_MouseMove(5); // one button hovered
    w->SetStatusText(u"查询完毕,共12条记录"_s, 2);
    save(w, out, u"main-window.png"_s);

    // System parameters, one picture per page.
    DefinitionService definitions(*startup.database());
    ServiceSysParamStore store(definitions, startup.station().context);
    frmSysParam params(env, store);
    params.show();
    auto *tabs = params.findChild<QTabWidget *>(u"tabParam"_s);
    const QStringList pages{u"sysparam-general.png"_s, u"sysparam-screen.png"_s,
                            u"sysparam-touch.png"_s};
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        framed(&params).save(out + QLatin1Char('/') + pages.at(i));
    }
    params.hide();

    // Password dialog with its keyboard below it.
    frmCheckPass pass(startup.station().params.ExitPassword);
    pass.m_szParentForm = u"frmDriverVerify"_s;
    pass.show();
    pass.Timer1_Timer();
    pass.Timer1_Timer();
    QLineEdit *box = pass.findChild<QLineEdit *>(u"txtPassword"_s);
    box->setText(u"88"_s);
    frmExit keyboard(box, startup.station().params.ExitPassword);
    keyboard.show();
    QApplication::processEvents();
    const QImage top = framed(&pass);
    const QImage bottom = framed(&keyboard);
    QImage both(std::max(top.width(), bottom.width()), top.height() + bottom.height(), QImage::Format_ARGB32);
    both.fill(Qt::transparent);
    {
        QPainter p(&both);
        p.drawImage(0, 0, top);
        p.drawImage(0, top.height(), bottom);
    }
    both.save(out + u"/checkpass-keyboard.png"_s);
    keyboard.hide();
    pass.hide();

    frmNotify notice;
    notice.m_szErrorDescription = u"保存成功！"_s;
    notice.show();
    notice.Timer2_Timer();
    QApplication::processEvents();
    framed(&notice).save(out + u"/notify.png"_s);
    notice.hide();
    return 0;
}
