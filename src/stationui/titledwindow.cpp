#include "titledwindow.h"

#include "stationscreen.h"

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

} // namespace cg
