#include "titledwindow.h"

#include "stationscreen.h"
#include "widgets/grid.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

namespace cg {

QVBoxLayout *BeginTitledWindow(QWidget *form, const QString &formName, const QString &caption, QSize size)
{
    form->setObjectName(formName);
    form->setWindowTitle(caption);
    form->resize(size);
    auto *layout = new QVBoxLayout(form);
    QToolButton *tbMin = nullptr, *tbClose = nullptr;
    layout->addLayout(AddTitleBar(form, caption, &tbMin, &tbClose));
    return layout;
}

FlexGrid *AddListGrid(QBoxLayout *layout)
{
    auto *grid = new FlexGrid;
    grid->setObjectName(QStringLiteral("vsList"));
    QFont font = grid->font();
    font.setPointSize(11);
    grid->setFont(font);
    layout->addWidget(grid, 1);
    return grid;
}

} // namespace cg
