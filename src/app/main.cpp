#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coachgate"));
    QApplication::setOrganizationName(QStringLiteral("coachgate"));
    cg::mdiMain w;
    w.show();
    return QApplication::exec();
}
