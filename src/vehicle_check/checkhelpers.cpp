#include "checkhelpers.h"

#include <QStyle>

#include "core/dates.h"
#include "core/recordset.h"
#include "stationui/titledwindow.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QGridLayout>
#include <QLabel>
#include <QHBoxLayout>
#include <QDateEdit>
#include <QTimeEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
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

void TripHeader::build(QWidget *parent, QGridLayout *layout)
{
    lblBusID = AddCaptionedLabel(parent, layout, 0, 0, u"车次:"_s, u"lblBusID"_s);
    lblEndStation = AddCaptionedLabel(parent, layout, 0, 2, u"到站:"_s, u"lblEndStation"_s);
    lblCompany = AddCaptionedLabel(parent, layout, 1, 0, u"车属公司:"_s, u"lblCompany"_s);
    lblLicenseID = AddCaptionedLabel(parent, layout, 1, 2, u"车号:"_s, u"lblLicenseID"_s);
    lblStartTime = AddCaptionedLabel(parent, layout, 2, 0, u"发车时间:"_s, u"lblStartTime"_s);
}

void TripHeader::show(const RecordSet &t)
{
    lblBusID->setText(t.valueAt(0, u"bus_id"_s).toString());
    lblEndStation->setText(t.valueAt(0, u"end_station_name"_s).toString());
    lblCompany->setText(t.valueAt(0, u"transport_company_short_name"_s).toString());
    lblLicenseID->setText(t.valueAt(0, u"license_tag_no"_s).toString());
    lblStartTime->setText(ShortDateTime(t.valueAt(0, u"bus_start_time"_s).toDateTime()));
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

StationFrame BuildStationFrame(QVBoxLayout *layout, const QString &keyLegend)
{
    StationFrame f;
    f.layout = layout;
    f.filterRow = new QHBoxLayout;
    f.layout->addLayout(f.filterRow);
    f.grid = AddListGrid(f.layout);
    auto *legendRow = new QHBoxLayout;
    legendRow->addWidget(new QLabel(keyLegend));
    legendRow->addStretch();
    legendRow->addWidget(new LampLegend);
    f.layout->addLayout(legendRow);
    return f;
}

void AddReadOnlyDateTime(QHBoxLayout *row, const QString &caption, QDateEdit **dtpDate, QTimeEdit **dtpTime)
{
    row->addWidget(new QLabel(caption));
    auto *date = new QDateEdit;
    date->setObjectName(u"dtpDate"_s);
    date->setDisplayFormat(u"yyyy-MM-dd"_s);
    date->setReadOnly(true);
    auto *time = new QTimeEdit;
    time->setObjectName(u"dtpTime"_s);
    time->setDisplayFormat(u"HH:mm:ss"_s);
    time->setReadOnly(true);
    row->addWidget(date);
    row->addWidget(time);
    *dtpDate = date;
    *dtpTime = time;
}

} // namespace cg
