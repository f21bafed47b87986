#include "frmgeneratearrangevehicle.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "services/masterdata/driverservice.h"
#include "services/masterdata/vehicleservice.h"
#include "services/scheduling/arrangementservice.h"
#include "stationui/recordscreen.h"
#include "stationui/stationscreen.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/buttons.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

QTreeWidget *makeList(const QString &name, const QStringList &headers, QWidget *parent)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(headers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setSectionsClickable(true);
    QObject::connect(list->header(), &QHeaderView::sectionClicked, list,
                     [list](int column) { SortListViewByColumn(list, column); });
    return list;
}

// A caption naming w, then w stretching, on row.
void addCaptioned(QHBoxLayout *row, const QString &caption, QWidget *w)
{
    auto *l = new QLabel(caption, w->parentWidget());
    l->setBuddy(w);
    row->addWidget(l);
    row->addWidget(w, 1);
}

// One search group of the dialog, placed on groups: the captioned search
// fields and the query button on one line, the list of what it found
// under them.
QTreeWidget *addSearchGroup(QHBoxLayout *groups, const QString &title,
                            std::initializer_list<std::pair<QString, QWidget *>> fields, QPushButton *query,
                            const QString &listName, const QStringList &headers)
{
    QWidget *dialog = query->parentWidget();
    auto *box = new QGroupBox(title, dialog);
    auto *layout = new QVBoxLayout(box);
    auto *search = new QHBoxLayout;
    for (const auto &[caption, field] : fields)
        addCaptioned(search, caption, field);
    search->addWidget(query);
    layout->addLayout(search);
    QTreeWidget *list = makeList(listName, headers, dialog);
    layout->addWidget(list, 1);
    groups->addWidget(box, 1);
    return list;
}

enum class Like { Contains, StartsWith };

// Appends condition and the pattern for text ("%text%" or "text%") to a
// filter fragment; an empty text adds nothing.
void AddLike(QString &where, const QString &condition, const QString &text, Like like)
{
    if (text.isEmpty())
        return;
    where += condition + SqlLiteral(like == Like::Contains ? u"%"_s + text + u"%"_s : text + u"%"_s);
}

QString dayText(const QVariant &v)
{
    const QDateTime d = v.toDateTime();
    return d.isValid() && !IsNoDate(d) ? d.date().toString(u"yyyy-MM-dd"_s) : QString();
}

} // namespace

frmGenerateArrangeVehicle::frmGenerateArrangeVehicle(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmGenerateArrangeVehicle"_s);
    setWindowTitle(u"驾驶员排班"_s);
    buildUi();
    // Opening: a period of one calendar month from today (the day clamped
    // to the shorter month's last), empty searches and remark.
    const QDate today = m_env.clock->today();
    dtpStartDate->setDate(today);
    dtpEndDate->setDate(today.addMonths(1));
    Trap(*m_env.messages, [this] {
        FillCodeCombo(cboType, m_station, 5, u""_s);
        FillCodeCombo(cboCompany, m_station, 7, u""_s);
    });
}

frmGenerateArrangeVehicle::~frmGenerateArrangeVehicle() = default;

void frmGenerateArrangeVehicle::buildUi()
{
    auto *root = new QVBoxLayout(this);
    root->addWidget(new QLabel(u"请修改或新增排班信息:"_s, this));
    auto *groups = new QHBoxLayout;
    root->addLayout(groups, 1);
    const auto line = [this](const QString &name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMinimumWidth(70);
        return e;
    };

    txtDriverName = line(u"txtDriverName"_s);
    txtDriverID = line(u"txtDriverID"_s);
    QPushButton *cmdQueryDriver = PlainButton(this, u"cmdQueryDriver"_s, u"查询(&Q)"_s);
    lvDriver = addSearchGroup(groups, u"驾驶员信息"_s, {{u"姓名："_s, txtDriverName}, {u"驾驶员代码："_s, txtDriverID}},
                              cmdQueryDriver, u"lvDriver"_s,
                              {u"编号"_s, u"姓名"_s, u"所属公司"_s, u"类别"_s, u"聘用开始"_s, u"聘用结束"_s,
                               u"驾照类别"_s, u"身份证"_s, u"性别"_s});

    txtLicense = line(u"txtLicense"_s);
    txtLicenseID = line(u"txtLicenseID"_s);
    cboCompany = new QComboBox(this);
    cboCompany->setObjectName(u"cboCompany"_s);
    cboType = new QComboBox(this);
    cboType->setObjectName(u"cboType"_s);
    QPushButton *cmdQueryVehicle = PlainButton(this, u"cmdQueryVehicle"_s, u"查询(&Q)"_s);
    lvVehicle = addSearchGroup(groups, u"车辆信息"_s,
                               {{u"车牌号："_s, txtLicense},
                                {u"车辆代码："_s, txtLicenseID},
                                {u"参运公司："_s, cboCompany},
                                {u"类别："_s, cboType}},
                               cmdQueryVehicle, u"lvVehicle"_s,
                               {u"编号"_s, u"车牌号"_s, u"类别"_s, u"车型"_s, u"参运公司"_s});

    auto *bottom = new QHBoxLayout;
    dtpStartDate = RecordDatePicker(u"dtpStartDate"_s, this);
    dtpEndDate = RecordDatePicker(u"dtpEndDate"_s, this);
    txtMemo = line(u"txtMemo"_s);
    BindByteLimit(txtMemo, 255);
    addCaptioned(bottom, u"开始日期："_s, dtpStartDate);
    addCaptioned(bottom, u"结束日期："_s, dtpEndDate);
    addCaptioned(bottom, u"备注:"_s, txtMemo);
    QPushButton *cmdSave = PlainButton(this, u"cmdSave"_s, u"保存(&S)"_s);
    QPushButton *cmdClose = PlainButton(this, u"cmdClose"_s, u"关闭(&C)"_s);
    bottom->addWidget(cmdSave);
    bottom->addWidget(cmdClose);
    root->addLayout(bottom);

    connect(cmdQueryDriver, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmGenerateArrangeVehicle::cmdQueryDriver_Click));
    connect(cmdQueryVehicle, &QPushButton::clicked, this,
            TrappedSlot(*m_env.messages, this, &frmGenerateArrangeVehicle::cmdQueryVehicle_Click));
    connect(lvDriver, &QTreeWidget::itemClicked, this, TrappedSlot(*m_env.messages, this, &frmGenerateArrangeVehicle::lvDriver_ItemClick));
    connect(cmdSave, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmGenerateArrangeVehicle::cmdSave_Click));
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    resize(1100, 560);
}

QString frmGenerateArrangeVehicle::DriverFragment() const
{
    QString where = u" 1=1 "_s;
    AddLike(where, u" AND driver_name like "_s, txtDriverName->text().trimmed(), Like::Contains);
    AddLike(where, u" AND driver_id like "_s, txtDriverID->text().trimmed(), Like::StartsWith);
    return where;
}

QString frmGenerateArrangeVehicle::VehicleFragment() const
{
    QString where = u" 1=1 "_s;
    AddLike(where, u" AND license  like "_s, txtLicense->text().trimmed(), Like::Contains);
    AddLike(where, u" AND license_id  like "_s, txtLicenseID->text().trimmed(), Like::StartsWith);
    AddLike(where, u" AND company_name  like "_s, cboCompany->currentText(), Like::Contains);
    if (const QString type = cboType->currentText(); !type.isEmpty())
        where += u" AND service_kind = "_s + SqlLiteral(type);
    return where;
}

void frmGenerateArrangeVehicle::cmdQueryDriver_Click()
{
    DriverService drivers(*m_station.db, *m_env.clock);
    RecordSet rs = drivers.QueryDrivers(m_station.context, DriverFragment(), u" driver_id "_s);
    lvDriver->clear();
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
        const auto text = [&](const QString &f) { return FieldValue(rs, f).toString(); };
        auto *item = new QTreeWidgetItem(lvDriver, QStringList{text(u"driver_id"_s), text(u"driver_name"_s),
                                                               BracketInner(text(u"company_name"_s)),
                                                               text(u"service_kind"_s),
                                                               dayText(FieldValue(rs, u"in_start_date"_s)),
                                                               dayText(FieldValue(rs, u"in_end_date"_s)),
                                                               text(u"cert_kind"_s), text(u"credit"_s),
                                                               text(u"sex"_s)});
        item->setData(0, Qt::UserRole, u"B"_s + text(u"driver_id"_s));
    }
}

void frmGenerateArrangeVehicle::cmdQueryVehicle_Click()
{
    VehicleService vehicles(*m_station.db, *m_env.clock);
    RecordSet rs =
        vehicles.QueryVehicles(m_station.context, VehicleFragment(), u" license_id "_s, NoDate(), true);
    lvVehicle->clear();
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
        const auto text = [&](const QString &f) { return FieldValue(rs, f).toString(); };
        auto *item = new QTreeWidgetItem(lvVehicle, QStringList{text(u"license_id"_s), text(u"license"_s),
                                                                text(u"service_kind"_s),
                                                                BracketInner(text(u"model_id"_s)),
                                                                BracketInner(text(u"company_name"_s))});
        item->setData(0, Qt::UserRole, u"k"_s + text(u"license_id"_s));
        item->setCheckState(0, Qt::Unchecked);
    }
}

void frmGenerateArrangeVehicle::lvDriver_ItemClick()
{
    QTreeWidgetItem *item = lvDriver->currentItem();
    if (!item)
        return;
    // The arrangement defaults to the driver's employment period.
    const QDate from = QDate::fromString(item->text(4), u"yyyy-MM-dd"_s);
    const QDate to = QDate::fromString(item->text(5), u"yyyy-MM-dd"_s);
    if (from.isValid())
        dtpStartDate->setDate(from);
    if (to.isValid())
        dtpEndDate->setDate(to);
}

void frmGenerateArrangeVehicle::cmdSave_Click()
{
    QTreeWidgetItem *driver = lvDriver->currentItem();
    if (!driver || !driver->isSelected()) {
        ShowNotice(*m_env.messages, u"没有选择驾驶员！"_s);
        return;
    }
    const QString driverId = driver->data(0, Qt::UserRole).toString().mid(1);
    if (dtpEndDate->date() < dtpStartDate->date()) {
        ShowNotice(*m_env.messages, u"结束日期不能早于开始日期！"_s);
        return;
    }
    RecordSet rows = CloneRecordsetShape(ArrangementService::GetArrangementTemplate());
    for (int i = 0; i < lvVehicle->topLevelItemCount(); ++i) {
        QTreeWidgetItem *vehicle = lvVehicle->topLevelItem(i);
        if (vehicle->checkState(0) != Qt::Checked)
            continue;
        rows.appendRow();
        rows.setValue(u"license_id"_s, vehicle->text(0));
        rows.setValue(u"driver_id"_s, driverId);
        rows.setValue(u"driver_name"_s, driver->text(1));
        rows.setValue(u"start_date"_s, QDateTime(dtpStartDate->date(), QTime(0, 0)));
        rows.setValue(u"end_date"_s, QDateTime(dtpEndDate->date(), QTime(0, 0)));
        rows.setValue(u"Memo"_s, txtMemo->text().trimmed());
    }
    if (rows.RecordCount() == 0) {
        // Nothing ticked: nothing to save, and the operator is told.
        ShowNotice(*m_env.messages, u"没有选择车辆！"_s);
        return;
    }
    ArrangementService arrangements(*m_station.db);
    QString why;
    if (arrangements.SaveArrangements(m_station.context, driverId, rows, &why))
        ShowNotice(*m_env.messages, u"保存成功！"_s);
    else
        ShowNotice(*m_env.messages, why.isEmpty() ? u"保存不成功！"_s : u"保存不成功！\n"_s + why);
}

} // namespace cg
