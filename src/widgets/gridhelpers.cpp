#include "gridhelpers.h"

#include "core/apperror.h"
#include "grid.h"
#include "core/text.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace cg {

// ---- Column layouts -------------------------------------------------------

QString DefaultLayoutFile()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    if (!programDir.isEmpty() && QFileInfo(programDir).isWritable())
        return QDir(programDir).filePath(u"HeadSet.ini"_s);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(u"HeadSet.ini"_s);
}

int TextColumnWidth(const QString &text)
{
    return 90 * AnsiByteLength(text);
}

namespace {

QString keyPrefix(const QWidget *control)
{
    return control->objectName() + u"_head"_s;
}

// The stored width, or -1 when none (missing key, not a number, negative).
int storedWidth(const QSettings &ini, const QString &key)
{
    bool ok = false;
    const int v = ini.value(key).toString().trimmed().toInt(&ok);
    return ok && v >= 0 ? v : -1;
}

} // namespace

void LoadColumnLayout(const QString &layoutFile, const QString &section, QWidget *control)
{
    auto *grid = qobject_cast<FlexGrid *>(control);
    auto *list = qobject_cast<QTreeWidget *>(control);
    if (!grid && !list)
        return;
    const QSettings ini(layoutFile, QSettings::IniFormat);
    const QString prefix = section + u'/' + keyPrefix(control);
    if (grid) {
        for (int c = 0; c < grid->cols(); ++c) {
            const int w = storedWidth(ini, prefix + QString::number(c));
            if (w >= 0)
                grid->setColWidthTwips(c, w);
        }
        return;
    }
    // Every column gets its own width, the last one too: a stretched last
    // column would neither keep its stored width nor save a meaningful one.
    list->header()->setStretchLastSection(false);
    const int dpi = list->logicalDpiX();
    const int n = list->columnCount();
    for (int i = 1; i <= n; ++i) {
        int w = storedWidth(ini, prefix + QString::number(i));
        if (w < 0)
            w = TextColumnWidth(list->headerItem()->text(i - 1) + u"  "_s);
        const int px = TwipsToPixels(w, dpi);
        if (px < list->header()->minimumSectionSize())
            list->header()->setMinimumSectionSize(px); // the width given, not the style's minimum
        list->setColumnWidth(i - 1, px);
    }
}

void SaveColumnLayout(const QString &layoutFile, const QString &section, QWidget *control)
{
    auto *grid = qobject_cast<FlexGrid *>(control);
    auto *list = qobject_cast<QTreeWidget *>(control);
    if (!grid && !list)
        return;
    QDir().mkpath(QFileInfo(layoutFile).absolutePath());
    QSettings ini(layoutFile, QSettings::IniFormat);
    ini.beginGroup(section);
    const QString prefix = keyPrefix(control);
    if (grid) {
        for (int c = 0; c < grid->cols(); ++c)
            ini.setValue(prefix + QString::number(c), QString::number(grid->colWidthTwips(c)));
    } else {
        const int dpi = list->logicalDpiX();
        for (int i = 1; i <= list->columnCount(); ++i)
            ini.setValue(prefix + QString::number(i), QString::number(PixelsToTwips(list->columnWidth(i - 1), dpi)));
    }
    ini.endGroup();
    ini.sync(); // a failed write is not reported
}

// ---- Grid size --------------------------------------------------------------

void ResetGridSize(FlexGrid *grid, int rows, int cols)
{
    if (rows < -1 || cols < -1)
        throw AppError(errnum::InvalidArgument, u"无效的表格大小"_s);
    if (rows != -1) {
        grid->setRows(rows);
        if (rows > 0)
            grid->setFixedRows(1);
    }
    if (cols != -1) {
        grid->setCols(cols);
        if (cols > 0)
            grid->setFixedCols(1);
    }
}

// ---- Lamps ----------------------------------------------------------------

bool LampLook(int code, QString *glyph, QColor *color)
{
    static const QString dot = u"●"_s;
    static const QString cross = u"×"_s;
    QString g;
    QColor c;
    switch (code) {
    case 0: g = dot; c = LampYellow; break;
    case 1:
    case 5: g = dot; c = LampGreen; break;
    case 2: g = dot; c = LampRed; break;
    case 3: g = dot; c = LampGrey; break;
    case 4: g = cross; c = LampRed; break;
    default: return false;
    }
    if (glyph)
        *glyph = g;
    if (color)
        *color = c;
    return true;
}

QString LampLegendText(int code)
{
    switch (code) {
    case 0: return u"黄灯表示未检验"_s;
    case 1: return u"绿灯表示通过检验"_s;
    case 2: return u"红灯表示没有通过"_s;
    case 3: return u"灰灯表示不需检验"_s;
    case 4: return u"表示不能检验"_s;
    default: return QString();
    }
}

void SetLampCell(FlexGrid *grid, int row, int col, int code)
{
    grid->setCellFontSize(row, col, 12);
    grid->setCellFontBold(row, col, true);
    grid->setCellAlignment(row, col, Qt::AlignCenter);
    QString glyph;
    QColor color;
    if (LampLook(code, &glyph, &color))
        grid->setCellForeColor(row, col, color);
    grid->setTextMatrix(row, col, glyph);
}

void SetLampLabel(QLabel *label, int code)
{
    QString glyph;
    QColor color;
    if (LampLook(code, &glyph, &color)) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, color);
        label->setPalette(p);
    }
    label->setText(glyph);
}

void MoveRowMark(FlexGrid *grid, int *marked, int row, const QList<int> &cols, const QColor &mark)
{
    static const QColor white(0xFF, 0xFF, 0xFF);
    if (*marked >= grid->fixedRows() && *marked < grid->rows() && *marked != row)
        for (int c : cols)
            grid->setCellBackColor(*marked, c, white);
    *marked = row;
    if (row >= grid->fixedRows() && row < grid->rows())
        for (int c : cols)
            grid->setCellBackColor(row, c, mark);
}

QColor LampCellColor(const FlexGrid *grid, int row, int col)
{
    return grid->cellForeColor(row, col);
}

QColor LampLabelColor(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

LampLegend::LampLegend(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"ptLegend"_s);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    for (int code = 0; code <= 4; ++code) {
        auto *lamp = new QLabel(this);
        lamp->setObjectName(u"lblLamp%1"_s.arg(code));
        QFont f = lamp->font();
        f.setBold(true);
        f.setPointSize(12);
        lamp->setFont(f);
        SetLampLabel(lamp, code);
        auto *text = new QLabel(LampLegendText(code), this);
        text->setObjectName(u"lblLegend%1"_s.arg(code));
        layout->addWidget(lamp);
        layout->addWidget(text);
        layout->addSpacing(12);
    }
    layout->addStretch(1);
}

// ---- Control helpers --------------------------------------------------------

namespace {

QLineEdit *lineEditOf(QWidget *control)
{
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit;
    if (auto *combo = qobject_cast<QComboBox *>(control); combo && combo->isEditable())
        return combo->lineEdit();
    return nullptr;
}

void setLineText(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
    edit->setCursorPosition(int(edit->text().size()));
}

} // namespace

void CleanNumericControl(QWidget *control, bool allowNegative, bool allowDecimal)
{
    if (QLineEdit *edit = lineEditOf(control))
        setLineText(edit, CleanNumericText(edit->text(), allowNegative, allowDecimal));
}

void LimitControlBytes(QWidget *control, int maxBytes)
{
    if (QLineEdit *edit = lineEditOf(control)) {
        const QString text = edit->text();
        const QString cut = TruncateToBytes(text, maxBytes);
        if (cut != text)
            setLineText(edit, cut);
        return;
    }
    const auto cutTo = [maxBytes](auto *box) {
        const QString text = box->toPlainText();
        const QString cut = TruncateToBytes(text, maxBytes);
        if (cut != text) {
            box->setPlainText(cut);
            box->moveCursor(QTextCursor::End);
        }
    };
    if (auto *plain = qobject_cast<QPlainTextEdit *>(control))
        cutTo(plain);
    else if (auto *rich = qobject_cast<QTextEdit *>(control))
        cutTo(rich);
}

namespace {
constexpr char kMaxBytesProperty[] = "maxBytes";
}

void BindByteLimit(QWidget *control, int maxBytes)
{
    if (!control || maxBytes <= 0)
        return;
    control->setProperty(kMaxBytesProperty, maxBytes);
    const auto cut = [control, maxBytes] { LimitControlBytes(control, maxBytes); };
    if (QLineEdit *edit = lineEditOf(control))
        QObject::connect(edit, &QLineEdit::textChanged, control, cut);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(control))
        QObject::connect(plain, &QPlainTextEdit::textChanged, control, cut);
    else if (auto *rich = qobject_cast<QTextEdit *>(control))
        QObject::connect(rich, &QTextEdit::textChanged, control, cut);
}

int ControlByteLimit(const QWidget *control)
{
    return control ? control->property(kMaxBytesProperty).toInt() : 0;
}

void SelectAllText(QWidget *control)
{
    if (QLineEdit *edit = lineEditOf(control))
        edit->setSelection(0, int(edit->text().size()));
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(control))
        plain->selectAll();
    else if (auto *rich = qobject_cast<QTextEdit *>(control))
        rich->selectAll();
}

namespace {
class SelectAllFilter : public QObject {
public:
    using QObject::QObject;
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
            auto *control = static_cast<QWidget *>(watched);
            QTimer::singleShot(0, control, [control] { SelectAllText(control); });
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

void SelectAllOnFocus(std::initializer_list<QWidget *> controls)
{
    for (QWidget *control : controls)
        control->installEventFilter(new SelectAllFilter(control));
}

int FindComboItem(const QComboBox *combo, const QString &text)
{
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void SortListViewByColumn(QTreeWidget *list, int column)
{
    const int key = column - 1;
    if (key < 0 || key >= list->columnCount())
        return;
    bool ok = false;
    int tag = list->property("Tag").toString().toInt(&ok);
    if (!ok)
        tag = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (key == tag) {
        const auto previous = static_cast<Qt::SortOrder>(list->property("SortOrder").toInt());
        order = previous == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    list->setProperty("Tag", key);
    list->setProperty("SortOrder", static_cast<int>(order));
    list->header()->setSortIndicator(key, order);
    list->setSortingEnabled(true);
    list->sortByColumn(key, order);
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    if (!selected.isEmpty())
        list->scrollToItem(selected.first());
    else if (list->currentItem())
        list->scrollToItem(list->currentItem());
}

} // namespace cg
