#include "stationui/picklist.h"

#include "core/apperror.h"
#include "core/text.h"
#include "services/masterdata/lookupservices.h"
#include "stationui/stationcontext.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
PickListRunner &runner()
{
    static PickListRunner r;
    return r;
}

QString cellText(const QVariant &v)
{
    return v.isValid() ? v.toString().trimmed() : QString();
}
} // namespace

PickListDialog::PickListDialog(const QString &title, const QStringList &captions, const RecordSet &entries,
                               QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"frmPickList"_s);
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    auto *search = new QHBoxLayout;
    auto *label = new QLabel(u"查找(&F):"_s, this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(u"txtSearch"_s);
    txtSearch->setPlaceholderText(u"输入代码或名称的一部分"_s);
    label->setBuddy(txtSearch);
    search->addWidget(label);
    search->addWidget(txtSearch, 1);
    layout->addLayout(search);

    lvList = new QTreeWidget(this);
    lvList->setObjectName(u"lvList"_s);
    lvList->setRootIsDecorated(false);
    lvList->setAllColumnsShowFocus(true);
    lvList->setUniformRowHeights(true);
    lvList->setHeaderLabels(captions);
    const int cols = int(captions.size());
    for (int row = 0; row < entries.RecordCount(); ++row) {
        auto *item = new QTreeWidgetItem(lvList);
        QVariantList values;
        for (int c = 0; c < entries.fieldCount(); ++c) {
            const QString text = cellText(entries.valueAt(row, entries.field(c).name));
            values.append(text);
            if (c < cols)
                item->setText(c, text);
        }
        item->setData(0, Qt::UserRole, values);
    }
    for (int c = 0; c < cols; ++c)
        lvList->resizeColumnToContents(c);
    layout->addWidget(lvList, 1);

    auto *bottom = new QHBoxLayout;
    lblCount = new QLabel(this);
    lblCount->setObjectName(u"lblCount"_s);
    bottom->addWidget(lblCount, 1);
    cmdOK = new QPushButton(u"确定"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdCancel = new QPushButton(u"取消"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdCancel);
    layout->addLayout(bottom);

    connect(txtSearch, &QLineEdit::textChanged, this, &PickListDialog::applySearch);
    connect(txtSearch, &QLineEdit::returnPressed, this, &PickListDialog::pick);
    connect(lvList, &QTreeWidget::itemActivated, this, &PickListDialog::pick);
    connect(cmdOK, &QPushButton::clicked, this, &PickListDialog::pick);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    txtSearch->installEventFilter(this);
    resize(520, 420);
    applySearch();
    txtSearch->setFocus();
}

int PickListDialog::shownCount() const
{
    int n = 0;
    for (int i = 0; i < lvList->topLevelItemCount(); ++i)
        n += lvList->topLevelItem(i)->isHidden() ? 0 : 1;
    return n;
}

void PickListDialog::applySearch()
{
    const QString needle = txtSearch->text().trimmed();
    QTreeWidgetItem *first = nullptr;
    for (int i = 0; i < lvList->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lvList->topLevelItem(i);
        bool match = needle.isEmpty();
        for (int c = 0; !match && c < lvList->columnCount(); ++c)
            match = item->text(c).contains(needle, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match && !first)
            first = item;
    }
    // The current entry stays when it is still shown, else the first one.
    QTreeWidgetItem *current = lvList->currentItem();
    if (!current || current->isHidden())
        lvList->setCurrentItem(first);
    if (first == nullptr)
        lvList->setCurrentItem(nullptr);
    lblCount->setText(u"共%1项"_s.arg(shownCount()));
    cmdOK->setEnabled(first != nullptr);
}

void PickListDialog::pick()
{
    QTreeWidgetItem *item = lvList->currentItem();
    if (!item || item->isHidden())
        return;
    const QVariantList values = item->data(0, Qt::UserRole).toList();
    m_result = Array2D();
    m_result.appendRow(values);
    accept();
}

bool PickListDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtSearch && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // The list moves while the typing stays in the box.
            QCoreApplication::sendEvent(lvList, event);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SetPickListRunner(PickListRunner r)
{
    runner() = std::move(r);
}

namespace {
Array2D runPick(QWidget *parent, const QString &title, const QStringList &captions, const RecordSet &entries)
{
    PickListDialog dialog(title, captions, entries, parent);
    if (runner())
        return runner()(dialog);
    dialog.exec();
    return dialog.result();
}

LookupService lookup(const StationContext &station)
{
    if (!station.db)
        throw AppError(errnum::InvalidArgument, u"没有连接数据库"_s);
    return LookupService(*station.db);
}
} // namespace

Array2D PickCompany(QWidget *parent, const StationContext &station)
{
    return runPick(parent, u"选择参运公司"_s, {u"公司代码"_s, u"公司名称"_s},
                   lookup(station).CompanyList(station.context));
}

Array2D PickOwner(QWidget *parent, const StationContext &station, const QString &companyCode)
{
    return runPick(parent, u"选择车主"_s, {u"车主代码"_s, u"车主名称"_s, u"所属公司"_s},
                   lookup(station).OwnerList(station.context, companyCode));
}

Array2D PickModel(QWidget *parent, const StationContext &station)
{
    return runPick(parent, u"选择车型"_s, {u"车型代码"_s, u"车型名称"_s, u"座位数"_s},
                   lookup(station).ModelList(station.context));
}

Array2D PickRoute(QWidget *parent, const StationContext &station)
{
    return runPick(parent, u"选择线路"_s, {u"线路代码"_s, u"线路名称"_s}, lookup(station).RouteList(station.context));
}

Array2D PickCheckGate(QWidget *parent, const StationContext &station)
{
    return runPick(parent, u"选择检票口"_s, {u"检票口代码"_s, u"检票口名称"_s},
                   lookup(station).CheckGateList(station.context));
}

Array2D PickVehicle(QWidget *parent, const StationContext &station)
{
    return runPick(parent, u"选择车辆"_s,
                   {u"车辆代码"_s, u"车牌号"_s, u"参运公司"_s, u"车主"_s, u"车型"_s, u"座位数"_s},
                   lookup(station).VehicleList(station.context));
}

Array2D PickDriver(QWidget *parent, const StationContext &station)
{
    return runPick(parent, u"选择驾驶员"_s, {u"驾驶员编号"_s, u"姓名"_s, u"参运公司"_s},
                   lookup(station).DriverList(station.context));
}

QString PickedText(const Array2D &picked, int col)
{
    return picked.at(1, col).toString().trimmed();
}

bool PutPicked(QLineEdit *field, const Array2D &picked)
{
    if (picked.rows() < 1)
        return false;
    field->setText(JoinCodeName(PickedText(picked, 1), PickedText(picked, 2)));
    return true;
}

} // namespace cg
