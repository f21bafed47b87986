#pragma once

#include <QMainWindow>

namespace cg {

// The workstation's main window (mdiMain). The start-up work fills it in.
class mdiMain : public QMainWindow {
    Q_OBJECT
public:
    explicit mdiMain(QWidget *parent = nullptr);
};

} // namespace cg
