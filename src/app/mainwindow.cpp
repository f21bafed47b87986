#include "mainwindow.h"

#include <QMdiArea>

namespace cg {

mdiMain::mdiMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mdiMain"));
    setWindowTitle(QStringLiteral("客运站安全门检系统"));
    setCentralWidget(new QMdiArea(this));
    resize(1280, 800);
}

} // namespace cg
