#include "stationui/stationscreen.h"
#include "stationui/titledwindow.h"

#include "core/dates.h"
#include "core/sqlliteral.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"
#include "widgets/grid.h"

#include <QComboBox>
#include <QSignalBlocker>

#include <QEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace cg {

QStringList CodeListNames(const StationContext &station, int kind)
{
    QStringList names;
    if (!station.db)
        return names;
    DefinitionService definitions(*station.db);
    const Array2D list = definitions.GetCodeList(station.context, kind);
    for (int i = 1; i <= list.rows(); ++i)
        names << list.at(i, 3).toString();
    return names;
}

void FillCodeCombo(QComboBox *combo, const StationContext &station, int kind, const QString &first)
{
    const QStringList names = CodeListNames(station, kind);
    const QSignalBlocker quiet(combo);
    combo->clear();
    if (!first.isNull())
        combo->addItem(first);
    combo->addItems(names);
    combo->setCurrentIndex(first.isNull() ? -1 : 0);
}

FormKeys::FormKeys(QWidget *form, QHash<int, std::function<void()>> keys)
    : QObject(form), m_keys(std::move(keys))
{
    attach(form);
}

void FormKeys::attach(QWidget *widget)
{
    widget->installEventFilter(this);
    for (QWidget *child : widget->findChildren<QWidget *>())
        child->installEventFilter(this);
}

bool FormKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const auto it = m_keys.constFind(key->key());
        if (it != m_keys.constEnd() && key->modifiers() == Qt::NoModifier) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                (*it)();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QString LongDateTime(const QDateTime &t)
{
    if (!t.isValid() || IsNoDate(t))
        return {};
    return t.toString(u"yyyy年MM月dd日 HH:mm"_s);
}

int CurrentDataRow(const FlexGrid *grid)
{
    const int r = grid->row();
    return r >= grid->fixedRows() && r < grid->rows() ? r : -1;
}

QString VehicleListFilter(const QString &typed, const QString &plateColumn)
{
    QString where = u" 1=1 "_s;
    if (!typed.isEmpty()) {
        const QString c = u" "_s + plateColumn;
        where += u" AND ("_s + c + u" LIKE "_s + SqlLiteral(u"%"_s + typed + u"%"_s) + u" OR"_s + c + u" LIKE "_s +
                 SqlLiteral(typed + u"%"_s) + u" OR"_s + c + u" LIKE "_s + SqlLiteral(u"%"_s + typed) + u" OR"_s + c +
                 u" = "_s + SqlLiteral(typed) + u")"_s;
    }
    return where + u" AND status= "_s + SqlLiteral(0);
}

QList<int> RowsWithText(const FlexGrid *grid, int col, const QString &text)
{
    QList<int> rows;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        if (grid->textMatrix(r, col) == text)
            rows << r;
    return rows;
}

QHBoxLayout *AddTitleBar(QWidget *form, const QString &caption, QToolButton **tbMin, QToolButton **tbClose)
{
    auto *row = new QHBoxLayout;
    QLabel *title = LargeLabel(form, QString(), caption, 16, true);
    row->addStretch();
    row->addWidget(title);
    row->addStretch();
    auto *min = new QToolButton(form);
    min->setObjectName(u"tbMin"_s);
    min->setText(u"—"_s);
    auto *close = new QToolButton(form);
    close->setObjectName(u"tbClose"_s);
    close->setText(u"×"_s);
    row->addWidget(min);
    row->addWidget(close);
    QObject::connect(min, &QToolButton::clicked, form, &QWidget::showMinimized);
    QObject::connect(close, &QToolButton::clicked, form, &QWidget::close);
    *tbMin = min;
    *tbClose = close;
    return row;
}

} // namespace cg
