#include "stationui/recordscreen.h"

#include "core/dates.h"

#include "stationui/registerscreen.h"

#include "widgets/gridhelpers.h"
#include "widgets/formfields.h"
#include "widgets/messages.h"
#include "widgets/buttons.h"

#include <QCloseEvent>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

RecordScreen::RecordScreen(const Env &env, StationContext &station, const QString &formName,
                           const QString &caption, QWidget *parent)
    : QWidget(parent, Qt::Window), m_env(env), m_station(station)
{
    setObjectName(formName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

RecordScreen::~RecordScreen() = default;

void RecordScreen::Open()
{
    m_opened = true;
    m_loadFailed = false;
    start();
}

void RecordScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_opened)
        trapped([this] { Open(); });
}

void RecordScreen::closeEvent(QCloseEvent *event)
{
    m_szParentForm.clear();
    m_szID.clear();
    m_opened = false;
    QWidget::closeEvent(event);
}

QGridLayout *RecordScreen::addFieldFrame(QBoxLayout *root, const QString &title)
{
    auto *frame = new QGroupBox(title, this);
    root->addWidget(frame);
    return new QGridLayout(frame);
}

QLineEdit *RecordScreen::recordField(const QString &objectName, int maxBytes)
{
    auto *e = new QLineEdit(this);
    e->setObjectName(objectName);
    BindByteLimit(e, maxBytes);
    connect(e, &QLineEdit::textChanged, this, &RecordScreen::updateSaveEnabled);
    return e;
}

int RecordScreen::layFields(QGridLayout *grid, std::initializer_list<FieldCell> cells)
{
    int line = 0;
    bool rightHalf = false;
    for (const FieldCell &cell : cells) {
        if (cell.span == FieldCell::Wide && rightHalf) {
            ++line;
            rightHalf = false;
        }
        const int col = rightHalf ? 2 : 0;
        if (!cell.caption.isEmpty())
            addCaption(grid, line, col, cell.caption, cell.field);
        const int span = cell.span == FieldCell::Wide ? 3 : 1;
        if (cell.row)
            grid->addLayout(cell.row, line, col + 1, 1, span);
        else
            grid->addWidget(cell.field, line, col + 1, 1, span);
        if (cell.span == FieldCell::Half && !rightHalf) {
            rightHalf = true;
        } else {
            ++line;
            rightHalf = false;
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return rightHalf ? line + 1 : line;
}

QPushButton *RecordScreen::makePickButton(const QString &objectName)
{
    QPushButton *b = PlainButton(this, objectName, u"..."_s);
    b->setFixedWidth(32);
    return b;
}

QHBoxLayout *RecordScreen::fieldWithButton(QLineEdit *field, QPushButton *button)
{
    auto *row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(button);
    return row;
}

void RecordScreen::addCaption(QGridLayout *grid, int row, int col, const QString &text, QWidget *buddy)
{
    auto *l = new QLabel(text, this);
    l->setBuddy(buddy);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(l, row, col);
}

void RecordScreen::updateSaveEnabled()
{
    if (m_save)
        m_save->setEnabled(canSave());
}

QHBoxLayout *RecordScreen::recordButtons(QLabel **status, QPushButton **add, QPushButton **save,
                                         QPushButton **close)
{
    auto *bottom = new QHBoxLayout;
    *status = new QLabel(this);
    (*status)->setObjectName(u"lblStatus"_s);
    bottom->addWidget(*status, 1);
    *add = PlainButton(this, u"cmdAdd"_s, u"新增(&A)"_s);
    *save = PlainButton(this, u"cmdSave"_s, u"保存(&S)"_s);
    *close = PlainButton(this, u"cmdClose"_s, u"关闭(&C)"_s);
    for (QPushButton *b : {*add, *save, *close})
        bottom->addWidget(b);
    (*save)->setEnabled(false);
    connect(*close, &QPushButton::clicked, this, &QWidget::close);
    return bottom;
}

void RecordScreen::setStateControls(QPushButton *save, QWidget *keyField, QLabel *status)
{
    m_save = save;
    m_keyField = keyField;
    m_status = status;
}

void RecordScreen::recordNotFound(const QString &text)
{
    const QString id = m_szID;
    clearRecord();
    m_szID = id;
    m_loadFailed = true;
    m_status->setText(text);
}

bool RecordScreen::foundOne(RecordSet &rs, const QString &notFoundText)
{
    if (rs.RecordCount() != 1) {
        recordNotFound(notFoundText);
        return false;
    }
    rs.MoveFirst();
    return true;
}

void RecordScreen::enterNewState()
{
    m_save->setText(u"保存(&S)"_s);
    m_save->setEnabled(false);
    m_keyField->setEnabled(true);
    m_eStatus = 0;
    m_loadFailed = false;
    m_keyField->setFocus();
}

void RecordScreen::enterEditState()
{
    m_save->setText(u"修改(&S)"_s);
    m_save->setEnabled(false);
    m_keyField->setEnabled(false);
    m_eStatus = 1;
}

bool RecordScreen::reportsTo(const QString &registerForm) const
{
    return m_szParentForm == registerForm && m_register;
}

bool RecordScreen::trapped(const std::function<void()> &fn)
{
    bool ok = false;
    Trap(*m_env.messages, [&] {
        fn();
        ok = true;
    });
    return ok;
}

QDateEdit *RecordDatePicker(const QString &objectName, QWidget *parent)
{
    QDateEdit *d = DatePicker(objectName, parent);
    d->setMinimumDate(NoDate().date());
    return d;
}

QString RecordText(const RecordSet &rs, const QString &field)
{
    const QVariant v = FieldValue(rs, field);
    return v.isValid() ? v.toString() : QString();
}

QDate RecordDate(const RecordSet &rs, const QString &field, const QDate &otherwise)
{
    const QDateTime d = FieldValue(rs, field).toDateTime();
    return d.isValid() ? d.date() : otherwise;
}

} // namespace cg
