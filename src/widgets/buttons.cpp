#include "widgets/buttons.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace cg {

QPushButton *NamedButton(QWidget *parent, const QString &objectName, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    return b;
}

QPushButton *PlainButton(QWidget *parent, const QString &objectName, const QString &caption)
{
    QPushButton *b = NamedButton(parent, objectName, caption);
    b->setAutoDefault(false);
    return b;
}

QPushButton *AddNamedButton(QHBoxLayout *row, const QString &objectName, const QString &caption)
{
    QPushButton *b = NamedButton(nullptr, objectName, caption);
    row->addWidget(b);
    return b;
}

QHBoxLayout *RightAlignedRow(std::initializer_list<QWidget *> widgets)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    for (QWidget *w : widgets)
        row->addWidget(w);
    return row;
}

} // namespace cg
