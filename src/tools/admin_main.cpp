#include "admin.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("coachgate-admin"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int rc = cg::runAdmin(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return rc;
}
