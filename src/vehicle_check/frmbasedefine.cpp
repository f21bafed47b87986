#include "frmbasedefine.h"

#include "core/apperror.h"
#include "core/array2d.h"
#include "widgets/grid.h"
#include "widgets/listexport.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"

#include <QAbstractItemDelegate>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

constexpr int KindRole = Qt::UserRole;
constexpr int KeyRole = Qt::UserRole + 1;
const QColor kGridBack(0xED, 0xEB, 0xF9);
// The inactive caption text colour of the classic desktop scheme marks an
// edited cell until it is saved.
const QColor kEditedBack(0xD4, 0xD0, 0xC8);

const QString kForm = u"frmBaseDefine"_s;

} // namespace

frmBaseDefine::frmBaseDefine(const Env &env, StationContext &station, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station),
      m_definitions(std::make_unique<DefinitionService>(*station.db))
{
    setObjectName(kForm);
    setWindowTitle(u"常用定义"_s);
    resize(820, 520);

    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 4, 4);
    leftLayout->addWidget(new QLabel(u"基本信息列表"_s));
    tvItemTree = new QTreeWidget;
    tvItemTree->setObjectName(u"tvItemTree"_s);
    tvItemTree->setHeaderHidden(true);
    leftLayout->addWidget(tvItemTree);

    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(4, 4, 4, 4);
    auto *buttons = new QHBoxLayout;
    cmdAdd = new QPushButton(u"新增(&A)"_s);
    cmdAdd->setObjectName(u"cmdAdd"_s);
    cmdDelete = new QPushButton(u"删除(&D)"_s);
    cmdDelete->setObjectName(u"cmdDelete"_s);
    cmdSave = new QPushButton(u"保存(&S)"_s);
    cmdSave->setObjectName(u"cmdSave"_s);
    cmdSave->setEnabled(false);
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdDelete);
    buttons->addWidget(cmdSave);
    buttons->addStretch();
    rightLayout->addLayout(buttons);
    vsBaseInfo = new FlexGrid;
    vsBaseInfo->setObjectName(u"vsBaseInfo"_s);
    // The File menu and the product bar export the code table shown.
    AttachGridReport(this, m_env, vsBaseInfo);
    QPalette pal = vsBaseInfo->palette();
    pal.setColor(QPalette::Base, kGridBack);
    vsBaseInfo->setPalette(pal);
    vsBaseInfo->setSelectionBehavior(QAbstractItemView::SelectItems);
    rightLayout->addWidget(vsBaseInfo);

    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->addWidget(left);
    m_splitter->addWidget(right);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({220, 600});
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    // The tree of tables under its root.
    auto *root = new QTreeWidgetItem(tvItemTree, {u"常用定义"_s});
    root->setData(0, KeyRole, u"comm_define"_s);
    const struct { const char16_t *caption; const char16_t *key; int kind; } tables[] = {
        {u"驾驶证类别", u"code_CardType", 3}, {u"驾驶员类型", u"code_DriverType", 4},
        {u"车辆类型", u"code_ServiceType", 5}, {u"基本原因", u"code_BaseCause", 8},
        {u"检测原因", u"code_CheckCause", 9},
    };
    for (const auto &t : tables) {
        auto *node = new QTreeWidgetItem(root, {QString::fromUtf16(t.caption)});
        node->setData(0, KeyRole, QString::fromUtf16(t.key));
        node->setData(0, KindRole, t.kind);
    }
    root->setExpanded(true);

    vsBaseInfo->clear();
    ResetGridSize(vsBaseInfo, 1, 3);
    LoadColumnLayout(m_env.layoutFile, kForm, vsBaseInfo);
    cmdAdd->setEnabled(false);
    cmdDelete->setEnabled(false);

    connect(tvItemTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *node) { tvItemTree_NodeClick(node); });
    connect(cmdAdd, &QPushButton::clicked, this, &frmBaseDefine::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmBaseDefine::cmdDelete_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmBaseDefine::cmdSave_Click);
    connect(vsBaseInfo, &QTableWidget::currentCellChanged, this,
            [this](int row, int col) { onCellEntered(row, col); });
    connect(vsBaseInfo, &QTableWidget::itemChanged, this, &frmBaseDefine::onItemChanged);
    connect(vsBaseInfo->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) { onEditClosed(int(hint)); });
    connect(vsBaseInfo, &FlexGrid::keyPressed, this, [this](QKeyEvent *e) {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && vsBaseInfo->row() >= 1) {
            // Enter inside an editor reaches the grid too; the editor's own
            // close moves on then.
            for (const QLineEdit *w : vsBaseInfo->viewport()->findChildren<QLineEdit *>())
                if (w->isVisible()) {
                    e->accept();
                    return;
                }
            e->accept();
            moveNext(vsBaseInfo->row(), vsBaseInfo->col());
        }
    });
}

frmBaseDefine::~frmBaseDefine()
{
    // An editor still open commits while the grid goes: not an edit any more.
    vsBaseInfo->disconnect(this);
    vsBaseInfo->itemDelegate()->disconnect(this);
}

QTreeWidgetItem *frmBaseDefine::rootNode() const { return tvItemTree->topLevelItem(0); }

QTreeWidgetItem *frmBaseDefine::tableNode(int kind) const
{
    QTreeWidgetItem *root = rootNode();
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->data(0, KindRole).toInt() == kind)
            return root->child(i);
    return nullptr;
}

bool frmBaseDefine::hasPendingChanges() const
{
    return !m_added.isEmpty() || !m_modified.isEmpty() || !m_deleted.isEmpty();
}

bool frmBaseDefine::editableTable() const
{
    return m_current && m_current->data(0, KeyRole).toString().startsWith(u"code"_s);
}

int frmBaseDefine::rowOf(QTableWidgetItem *key) const { return vsBaseInfo->row(key); }

void frmBaseDefine::clearPending()
{
    m_added.clear();
    m_modified.clear();
    m_deleted.clear();
}

void frmBaseDefine::tvItemTree_NodeClick(QTreeWidgetItem *node)
{
    if (m_switching || !node || node == m_current)
        return;
    Trap(*m_env.messages, [&] {
        if (hasPendingChanges()) {
            const MsgAnswer a = m_env.messages->show(
                {u"问题"_s, u"项目已变动，是否保存变动？"_s, MsgIcon::Question, MsgButtons::YesNo}, this);
            if (a == MsgAnswer::Yes) {
                if (!save()) {
                    // The changes belong to the open table: keep it open
                    // with them rather than load another table over them.
                    m_switching = true;
                    tvItemTree->setCurrentItem(m_current);
                    m_switching = false;
                    return;
                }
            } else {
                clearPending();
                cmdSave->setEnabled(false);
            }
        }
        m_current = node;
        const bool table = editableTable();
        cmdAdd->setEnabled(table);
        cmdDelete->setEnabled(table);
        SaveColumnLayout(m_env.layoutFile, kForm, vsBaseInfo);
        if (table) {
            ResetGridSize(vsBaseInfo, 1, 3);
            vsBaseInfo->setTextMatrix(0, 0, u"序"_s);
            vsBaseInfo->setTextMatrix(0, 1, u"名称"_s);
            vsBaseInfo->setTextMatrix(0, 2, u"备注"_s);
            vsBaseInfo->setColWidth(0, 50);
            vsBaseInfo->setColWidth(1, 240);
            vsBaseInfo->setColWidth(2, 280);
            // A name and a remark never outgrow their stored widths.
            vsBaseInfo->setColMaxBytes(1, CodeNameMaxBytes);
            vsBaseInfo->setColMaxBytes(2, CodeRemarkMaxBytes);
            LoadColumnLayout(m_env.layoutFile, kForm, vsBaseInfo);
        }
        loadTable();
    });
}

void frmBaseDefine::loadTable()
{
    m_env.status->SetStatusText(u"正在查询..."_s, 1);
    cmdSave->setEnabled(false);
    int count = 0;
    m_editRow = m_editCol = m_prevRow = m_prevCol = -1;
    if (editableTable()) {
        m_kind = m_current->data(0, KindRole).toInt();
        try {
            const Array2D list = m_definitions->GetCodeList(m_station.context, m_kind);
            count = list.isAllocated() ? list.upperBound(1) : 0;
            for (int i = 1; i <= count; ++i) {
                const int r = vsBaseInfo->addRow({QString::number(i), list.at(i, 3).toString(),
                                                  list.at(i, 4).toString()});
                vsBaseInfo->setRowData(r, list.at(i, 1));
            }
        } catch (...) {
            // Panel 1 is cleared before the caller's trap reports the error.
            m_env.status->SetStatusText(QString(), 1);
            throw;
        }
    }
    m_env.status->SetStatusText(u"共%1项"_s.arg(count), 2);
    m_env.status->SetStatusText(QString(), 1);
}

void frmBaseDefine::onCellEntered(int row, int col)
{
    if (row < vsBaseInfo->fixedRows() || col < 1 || !editableTable())
        return;
    // The grid is read-only elsewhere; the cell's editor opens here only.
    m_marking = true;
    if (!vsBaseInfo->item(row, col))
        vsBaseInfo->setItem(row, col, new QTableWidgetItem);
    QTableWidgetItem *cell = vsBaseInfo->item(row, col);
    cell->setFlags(cell->flags() | Qt::ItemIsEditable);
    m_marking = false;
    m_prevRow = m_editRow;
    m_prevCol = m_editCol;
    m_editRow = row;
    m_editCol = col;
    vsBaseInfo->editItem(vsBaseInfo->item(row, col));
}

void frmBaseDefine::onEditClosed(int hint)
{
    const int row = m_editRow, col = m_editCol;
    m_editRow = m_editCol = -1;
    if (row >= 1 && row < vsBaseInfo->rows() && hint == QAbstractItemDelegate::SubmitModelCache)
        moveNext(row, col);
}

void frmBaseDefine::onItemChanged(QTableWidgetItem *item)
{
    // A text the operator committed from an editor; our own colour and
    // text changes are not edits.
    if (m_marking)
        return;
    const int row = item->row(), col = item->column();
    if ((row == m_editRow && col == m_editCol) || (row == m_prevRow && col == m_prevCol))
        markEdited(row, col);
}

void frmBaseDefine::markEdited(int row, int col)
{
    if (!editableTable() || col < 1 || row < vsBaseInfo->fixedRows())
        return;
    m_marking = true;
    vsBaseInfo->setCellBackColor(row, col, kEditedBack);
    m_marking = false;
    cmdSave->setEnabled(true);
    QTableWidgetItem *key = vsBaseInfo->item(row, 0);
    if (key && !m_added.contains(key) && !m_modified.contains(key))
        m_modified.append(key);
}

void frmBaseDefine::moveNext(int row, int col)
{
    if (!editableTable())
        return;
    if (col < vsBaseInfo->cols() - 1) {
        vsBaseInfo->setCurrent(row, col + 1);
        if (m_editRow < 0)
            onCellEntered(row, col + 1);
    } else {
        cmdAdd_Click();
    }
}

void frmBaseDefine::cmdAdd_Click()
{
    if (!editableTable())
        return;
    const int r = vsBaseInfo->addRow({QString::number(vsBaseInfo->rows()), QString(), QString()});
    m_added.append(vsBaseInfo->item(r, 0));
    vsBaseInfo->setCurrent(r, 1);
    if (m_editRow != r)
        onCellEntered(r, 1);
}

void frmBaseDefine::cmdDelete_Click()
{
    const int row = vsBaseInfo->row();
    if (!editableTable() || row < vsBaseInfo->fixedRows() || vsBaseInfo->col() < 1)
        return;
    QTableWidgetItem *key = vsBaseInfo->item(row, 0);
    if (m_added.contains(key)) {
        m_added.removeAll(key);
    } else {
        m_modified.removeAll(key);
        const QVariant code = vsBaseInfo->rowData(row);
        if (code.isValid())
            m_deleted.append(code.toInt());
        cmdSave->setEnabled(true);
    }
    for (int r = row + 1; r < vsBaseInfo->rows(); ++r)
        vsBaseInfo->setTextMatrix(r, 0, QString::number(vsBaseInfo->textMatrix(r, 0).toInt() - 1));
    m_editRow = m_editCol = m_prevRow = m_prevCol = -1;
    vsBaseInfo->removeRow(row);
}

void frmBaseDefine::cmdSave_Click()
{
    save();
}

// A refusal of one row's write, naming the row and its name.
[[noreturn]] static void refuseRow(const std::exception &e, int number, const QString &name)
{
    const auto *app = dynamic_cast<const AppError *>(&e);
    const QString why = app ? app->description() : QString::fromUtf8(e.what());
    throw AppError(app ? app->number() : 0, u"第%1行“%2”：%3"_s.arg(number).arg(name, why));
}

// Drops the rows added and left blank (an Enter in the last column adds
// one): nothing to save, and no data service call for them.
void frmBaseDefine::dropBlankAddedRows()
{
    for (qsizetype i = m_added.size() - 1; i >= 0; --i) {
        const int r = rowOf(m_added.at(i));
        if (!vsBaseInfo->textMatrix(r, 1).trimmed().isEmpty() || !vsBaseInfo->textMatrix(r, 2).trimmed().isEmpty())
            continue;
        m_added.removeAt(i);
        for (int below = r + 1; below < vsBaseInfo->rows(); ++below)
            vsBaseInfo->setTextMatrix(below, 0, QString::number(vsBaseInfo->textMatrix(below, 0).toInt() - 1));
        m_editRow = m_editCol = m_prevRow = m_prevCol = -1;
        vsBaseInfo->removeRow(r);
    }
}

// Saves the open table's changes all together or not at all: the rows are
// checked first (a row without a name is refused, named by its number), and
// the writes run in one transaction, so a refusal half way leaves nothing
// written and every pending change still pending.
bool frmBaseDefine::save()
{
    StatusSink &status = *m_env.status;
    try {
        if (editableTable()) {
            dropBlankAddedRows();
            for (const QList<QTableWidgetItem *> *set : {&m_added, &m_modified})
                for (QTableWidgetItem *key : *set) {
                    const int r = rowOf(key);
                    if (vsBaseInfo->textMatrix(r, 1).trimmed().isEmpty())
                        throw AppError(errnum::InvalidArgument,
                                       u"第%1行：名称不能为空，请填写名称或删除该行。"_s.arg(vsBaseInfo->textMatrix(r, 0)));
                }
            QList<int> codes;
            m_station.db->transact([&] {
                codes.clear();
                status.SetStatusText(u"正在保存新增的项目，请等待..."_s, 1);
                for (QTableWidgetItem *key : std::as_const(m_added)) {
                    const int r = rowOf(key);
                    try {
                        codes << m_definitions->AddCodeItem(m_station.context, m_kind,
                                                            vsBaseInfo->textMatrix(r, 1).trimmed(),
                                                            vsBaseInfo->textMatrix(r, 2));
                    } catch (const std::exception &e) {
                        // The refusal names the row it is about.
                        refuseRow(e, vsBaseInfo->textMatrix(r, 0).toInt(), vsBaseInfo->textMatrix(r, 1).trimmed());
                    }
                }
                status.SetStatusText(u"正在保存修改的项目，请等待..."_s, 1);
                for (QTableWidgetItem *key : std::as_const(m_modified)) {
                    const int r = rowOf(key);
                    try {
                        m_definitions->UpdateCodeItem(m_station.context, vsBaseInfo->rowData(r).toInt(), m_kind,
                                                      vsBaseInfo->textMatrix(r, 1), vsBaseInfo->textMatrix(r, 2));
                    } catch (const std::exception &e) {
                        // The refusal names the row it is about.
                        refuseRow(e, vsBaseInfo->textMatrix(r, 0).toInt(), vsBaseInfo->textMatrix(r, 1).trimmed());
                    }
                }
                status.SetStatusText(u"正在删除项目，请等待..."_s, 1);
                for (qsizetype i = m_deleted.size() - 1; i >= 0; --i)
                    m_definitions->DeleteCodeItem(m_station.context, m_deleted.at(i), true, QString());
            });
            // Written: the rows take their codes and lose their edit marks.
            for (qsizetype i = 0; i < m_added.size() && i < codes.size(); ++i)
                vsBaseInfo->setRowData(rowOf(m_added.at(i)), codes.at(i));
            m_marking = true;
            for (QTableWidgetItem *key : std::as_const(m_modified))
                for (int c = 1; c < vsBaseInfo->cols(); ++c)
                    vsBaseInfo->setCellBackColor(rowOf(key), c, kGridBack);
            m_marking = false;
            clearPending();
        }
        status.SetStatusText(QString(), 1);
        cmdSave->setEnabled(false);
        return true;
    } catch (const std::exception &e) {
        // The caller learns whether the changes were written.
        status.SetStatusText(QString(), 1);
        cmdSave->setEnabled(true);
        ReportError(*m_env.messages, e);
        return false;
    }
}

void frmBaseDefine::closeEvent(QCloseEvent *event)
{
    SaveColumnLayout(m_env.layoutFile, kForm, vsBaseInfo);
    QWidget::closeEvent(event);
}

} // namespace cg
