#include "checkhelpers.h"

#include <QStyle>

#include "core/dates.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QHBoxLayout>
#include <QToolButton>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace cg {

QColor ThreeColourLamp(int status)
{
    if (status == 1 || status == 5)
        return LampGreen;
    if (status == 2)
        return LampRed;
    return LampYellow;
}

void SetThreeColourLamp(QLabel *label, int status)
{
    label->setText(u"●"_s);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ThreeColourLamp(status));
    label->setPalette(pal);
}

QString ShortDateTime(const QDateTime &t)
{
    if (!t.isValid() || IsNoDate(t))
        return {};
    return t.toString(u"yyyy-MM-dd HH:mm"_s);
}

QLabel *AddCaptionedLabel(QWidget *parent, QGridLayout *layout, int row, int col, const QString &caption,
                          const QString &objectName)
{
    layout->addWidget(new QLabel(caption, parent), row, col, Qt::AlignRight);
    auto *value = new QLabel(parent);
    value->setObjectName(objectName);
    value->setMinimumWidth(120);
    QFont f = value->font();
    f.setBold(true);
    value->setFont(f);
    layout->addWidget(value, row, col + 1);
    return value;
}

void AddVerdictButtons(QWidget *form, QHBoxLayout *row, QToolButton **cmdPass, QToolButton **cmdNotPass)
{
    const auto make = [form](const QString &name, QStyle::StandardPixmap icon, const QString &tip) {
        auto *b = new QToolButton(form);
        b->setObjectName(name);
        b->setIcon(form->style()->standardIcon(icon));
        b->setIconSize(QSize(40, 40));
        b->setToolTip(tip);
        return b;
    };
    *cmdPass = make(u"cmdPass"_s, QStyle::SP_DialogApplyButton, u"合格"_s);
    *cmdNotPass = make(u"cmdNotPass"_s, QStyle::SP_DialogCancelButton, u"不合格"_s);
    row->addWidget(*cmdPass);
    row->addWidget(*cmdNotPass);
}

} // namespace cg
