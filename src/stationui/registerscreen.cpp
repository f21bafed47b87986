#include "stationui/registerscreen.h"

#include "core/apperror.h"
#include "core/sqlliteral.h"
#include "stationui/listquery.h"
#include "stationui/recordscreen.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/listexport.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "widgets/buttons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

// ---------------------------------------------------------------- PlaceholderBox

PlaceholderBox::PlaceholderBox(const QString &objectName, const QString &placeholder, QWidget *parent)
    : QLineEdit(parent), m_placeholder(placeholder)
{
    setObjectName(objectName);
    connect(this, &QLineEdit::textChanged, this, &PlaceholderBox::updateLook);
    resetToPlaceholder();
}

QString PlaceholderBox::filterText() const
{
    const QString t = text();
    return t == m_placeholder ? QString() : t;
}

void PlaceholderBox::resetToPlaceholder()
{
    setText(m_placeholder);
}

void PlaceholderBox::focusInEvent(QFocusEvent *event)
{
    if (text() == m_placeholder)
        clear();
    QLineEdit::focusInEvent(event);
}

void PlaceholderBox::focusOutEvent(QFocusEvent *event)
{
    if (text().isEmpty())
        setText(m_placeholder);
    QLineEdit::focusOutEvent(event);
}

void PlaceholderBox::updateLook()
{
    QPalette p = QApplication::palette(this);
    if (text() == m_placeholder)
        p.setColor(QPalette::Text, QColor(Qt::gray));
    setPalette(p);
}

QString FourWayMatch(const QString &open, const QString &column, const QString &text)
{
    return open + column + u" LIKE "_s + SqlLiteral(u"%"_s + text + u"%"_s) + u" OR "_s + column + u" LIKE "_s
           + SqlLiteral(u"%"_s + text) + u" OR "_s + column + u" LIKE "_s + SqlLiteral(text + u"%"_s) + u" OR "_s
           + column + u" = "_s + SqlLiteral(text) + u")"_s;
}

QString ExactFirstMatch(const QString &open, const QString &column, const QString &text)
{
    return open + column + u" = "_s + SqlLiteral(text) + u" OR "_s + column + u" LIKE "_s
           + SqlLiteral(u"%"_s + text + u"%"_s) + u" OR "_s + column + u" LIKE "_s + SqlLiteral(u"%"_s + text)
           + u" OR "_s + column + u" LIKE "_s + SqlLiteral(text + u"%"_s) + u" ) "_s;
}

// ---------------------------------------------------------------- RegisterScreen

RegisterScreen::RegisterScreen(const Env &env, StationContext &station, const QString &formName,
                               const QString &caption, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station), m_formName(formName),
      m_noRowNotice(u"先查询出并选择一条货运信息！"_s)
{
    setObjectName(formName);
    setWindowTitle(caption);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    auto *band = new QHBoxLayout;
    m_filters = new QHBoxLayout;
    m_buttons = new QHBoxLayout;
    band->addLayout(m_filters);
    band->addStretch(1);
    band->addLayout(m_buttons);
    layout->addLayout(band);
    vsList = new FlexGrid(this);
    vsList->setObjectName(u"vsList"_s);
    layout->addWidget(vsList, 1);
    AttachGridReport(this, m_env, vsList);
    resize(900, 560);
}

RegisterScreen::~RegisterScreen() = default;

void RegisterScreen::setupGrid(const QStringList &captions)
{
    ResetGridSize(vsList, 1, int(captions.size()));
    for (int c = 0; c < captions.size(); ++c)
        vsList->setTextMatrix(0, c, captions.at(c));
    vsList->setAllCentered();
    vsList->autoSize(0, vsList->cols() - 1);
    LoadColumnLayout(m_env.layoutFile, m_formName, vsList);
}

PlaceholderBox *RegisterScreen::addFilterBox(const QString &caption, const QString &objectName,
                                             const QString &placeholder)
{
    auto *box = new PlaceholderBox(objectName, placeholder, this);
    box->setMinimumWidth(150);
    addFilterWidget(caption, box);
    return box;
}

void RegisterScreen::addFilterWidget(QWidget *widget)
{
    m_filters->addWidget(widget);
}

void RegisterScreen::addFilterWidget(const QString &caption, QWidget *widget)
{
    auto *label = new QLabel(caption, this);
    label->setBuddy(widget);
    m_filters->addWidget(label);
    m_filters->addWidget(widget);
}

QPushButton *RegisterScreen::addButton(const QString &objectName, const QString &caption)
{
    QPushButton *b = PlainButton(this, objectName, caption);
    m_buttons->addWidget(b);
    return b;
}

void RegisterScreen::addRegisterButtons()
{
    QPushButton *cmdQuery = addButton(u"cmdQuery"_s, u"查询(&Q)"_s);
    QPushButton *cmdAdd = addButton(u"cmdAdd"_s, u"新增"_s);
    QPushButton *cmdEdit = addButton(u"cmdEdit"_s, u"修改"_s);
    QPushButton *cmdDelete = addButton(u"cmdDelete"_s, u"删除"_s);
    MessageSink &sink = *m_env.messages;
    connect(cmdQuery, &QPushButton::clicked, this, TrappedSlot(sink, this, &RegisterScreen::cmdQuery_Click));
    connect(cmdAdd, &QPushButton::clicked, this, TrappedSlot(sink, this, &RegisterScreen::cmdAdd_Click));
    connect(cmdEdit, &QPushButton::clicked, this, TrappedSlot(sink, this, &RegisterScreen::cmdEdit_Click));
    connect(cmdDelete, &QPushButton::clicked, this, TrappedSlot(sink, this, &RegisterScreen::cmdDelete_Click));
    connect(vsList, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= vsList->fixedRows())
            Trap(*m_env.messages, [this] { vsList_DblClick(); });
    });
}

QString RegisterScreen::recordKey(const RecordSet &rs) const
{
    Q_ASSERT(!m_keyField.isEmpty());
    return FieldValue(rs, m_keyField).toString();
}

void RegisterScreen::cmdAdd_Click()
{
    openRecord(0, QString());
}

void RegisterScreen::cmdEdit_Click()
{
    editCurrentRecord();
}

void RegisterScreen::cmdDelete_Click()
{
    DeleOneInfoLine(currentKey());
}

QString RegisterScreen::currentKey() const
{
    const int r = vsList->row();
    if (r < vsList->fixedRows() || r >= vsList->rows())
        return {};
    return vsList->rowData(r).toString();
}

int RegisterScreen::rowOfKey(const QString &key) const
{
    // The current row first: a key shown twice is the one the operator chose.
    const int current = vsList->row();
    if (current >= vsList->fixedRows() && current < vsList->rows() && vsList->rowData(current).toString() == key)
        return current;
    for (int r = vsList->fixedRows(); r < vsList->rows(); ++r)
        if (vsList->rowData(r).toString() == key)
            return r;
    return -1;
}

int RegisterScreen::fill(RecordSet &rs, FillMode mode, int rewriteRow)
{
    int count = 0;
    if (!rs.isEmpty())
        rs.MoveFirst();
    while (!rs.isEOF()) {
        int r = rewriteRow;
        if (mode == FillMode::Append) {
            r = vsList->addRow();
            vsList->setTextMatrix(r, 0, QString::number(r - vsList->fixedRows() + 1));
        }
        writeRow(r, rs);
        vsList->setRowData(r, recordKey(rs));
        vsList->setCurrent(r, vsList->fixedCols());
        ++count;
        rs.MoveNext();
    }
    vsList->autoSize(0, vsList->cols() - 1);
    return count;
}

bool RegisterScreen::runListQuery(const std::function<RecordSet()> &query)
{
    vsList->setRows(vsList->fixedRows());
    const bool ok = RunListQuery(m_env, [&] {
        const FlexGrid::BulkFill bulk(vsList);
        RecordSet rs = query();
        return fill(rs, FillMode::Append);
    });
    // A fresh list is read from the top: its first row is the chosen one.
    if (vsList->dataRows() > 0) {
        vsList->setCurrent(vsList->fixedRows(), vsList->fixedCols());
        vsList->scrollToTop();
    }
    return ok;
}

void RegisterScreen::AddOneLine(const QString &key)
{
    RunListQuery(m_env, [&] {
        RecordSet rs = lookupRecord(key, Lookup::Added);
        if (rs.RecordCount() != 1)
            return 0;
        return fill(rs, FillMode::Append);
    });
}

void RegisterScreen::UpdOneInfoLine(const QString &key)
{
    ReplaceOneLine(key, key);
}

void RegisterScreen::ReplaceOneLine(const QString &rowKey, const QString &lookupKey)
{
    if (rowOfKey(rowKey) < 0)
        return;
    RunListQuery(m_env, [&] {
        RecordSet rs = lookupRecord(lookupKey, Lookup::Updated);
        if (rs.RecordCount() != 1)
            return 0;
        // The key decides, not the position.
        const int row = rowOfKey(rowKey);
        if (row < 0)
            return 0;
        return fill(rs, FillMode::Rewrite, row);
    });
}

void RegisterScreen::DeleOneInfoLine(const QString &key)
{
    const int r = key.isEmpty() ? -1 : rowOfKey(key);
    if (r < 0) {
        ShowNotice(*m_env.messages, m_noRowNotice);
        return;
    }
    const MsgAnswer answer = m_env.messages->show(
        {u"提示"_s, u"是否真的要删除序号为[%1]的信息，删除后将不能再恢复？"_s.arg(vsList->textMatrix(r, 0)),
         MsgIcon::Information, MsgButtons::YesNo},
        this);
    if (answer != MsgAnswer::Yes)
        return;
    QString reason;
    if (!deleteRecord(key, &reason)) {
        m_env.messages->show({u"提示"_s, reason.isEmpty() ? u"删除失败！"_s : reason, MsgIcon::Warning,
                              MsgButtons::Ok},
                             this);
        return;
    }
    const int row = rowOfKey(key);
    if (row >= 0) {
        vsList->removeRow(row);
        for (int i = row; i < vsList->rows(); ++i)
            vsList->setTextMatrix(i, 0, QString::number(vsList->textMatrix(i, 0).toInt() - 1));
    }
    ShowNotice(*m_env.messages, u"删除成功！"_s);
}

void RegisterScreen::openRecord(int status, const QString &id)
{
    if (!m_record)
        m_record = makeRecordScreen();
    if (!m_record)
        return;
    m_record->m_szParentForm = objectName();
    m_record->m_register = this;
    m_record->m_eStatus = status;
    m_record->m_szID = id;
    m_record->Open();
    m_record->show();
    m_record->raise();
    m_record->activateWindow();
}

RecordScreen *RegisterScreen::record() const
{
    return m_record;
}

void RegisterScreen::editCurrentRecord()
{
    const QString key = currentKey();
    if (!key.isEmpty())
        openRecord(1, key);
}

void RegisterScreen::closeEvent(QCloseEvent *event)
{
    if (m_record)
        m_record->close();
    SaveColumnLayout(m_env.layoutFile, m_formName, vsList);
    QWidget::closeEvent(event);
}

} // namespace cg
