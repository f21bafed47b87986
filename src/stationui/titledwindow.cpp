#include "titledwindow.h"

#include "stationscreen.h"
#include "widgets/grid.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

using namespace Qt::StringLiterals;

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

QFrame *StationLine(const QString &lineColour, QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFixedHeight(2);
    line->setAutoFillBackground(true);
    const uint bgr = lineColour.toUInt();
    QPalette p = line->palette();
    p.setColor(QPalette::Window, QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)));
    line->setPalette(p);
    return line;
}

QLabel *LargeLabel(QWidget *parent, const QString &name, const QString &text, int pointSize, bool bold)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setPointSize(pointSize);
    f.setBold(bold);
    label->setFont(f);
    return label;
}

FlexGrid *AddListGrid(QBoxLayout *layout)
{
    auto *grid = new FlexGrid;
    grid->setObjectName(u"vsList"_s);
    QFont font = grid->font();
    font.setPointSize(11);
    grid->setFont(font);
    layout->addWidget(grid, 1);
    return grid;
}

} // namespace cg
