#include "admin.h"
#include "core/dates.h"

#include <QGuiApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    cg::PinLocalTimeZone();
    // A command-line tool: the GUI application only lends its fonts to the
    // demo's driver photos, so it never needs a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"coachgate-admin"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int rc = cg::runAdmin(QCoreApplication::arguments(), out, err, cg::askPasswordOnTerminal);
    out.flush();
    err.flush();
    return rc;
}
