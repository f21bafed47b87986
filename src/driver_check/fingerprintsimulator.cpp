#include "fingerprintsimulator.h"

#include "services/fingerprint/simulatedfingerprintengine.h"
#include "widgets/buttons.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
QPointer<SimulatedFingerReader> &readerSlot()
{
    static QPointer<SimulatedFingerReader> reader;
    return reader;
}
} // namespace

QString FormalFingerKey(const QString &driverId) { return driverId.trimmed() + u"/formal"_s; }
QString BackupFingerKey(const QString &driverId) { return driverId.trimmed() + u"/backup"_s; }

void SetSimulatedReader(SimulatedFingerReader *reader) { readerSlot() = reader; }
SimulatedFingerReader *SimulatedReader() { return readerSlot(); }

FingerprintSimulator::FingerprintSimulator(SimulatedFingerReader *reader, const RecordSet &driversIn,
                                           QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Tool), m_reader(reader)
{
    setObjectName(u"frmFingerprintSimulator"_s);
    setWindowTitle(u"模拟指纹仪"_s);
    resize(340, 420);
    auto *root = new QVBoxLayout(this);
    lstDrivers = new QTreeWidget(this);
    lstDrivers->setObjectName(u"lstDrivers"_s);
    lstDrivers->setHeaderLabels({u"编号"_s, u"姓名"_s});
    lstDrivers->setRootIsDecorated(false);
    lstDrivers->header()->setStretchLastSection(true);
    root->addWidget(lstDrivers, 1);

    listDrivers(driversIn);

    auto *buttons = new QHBoxLayout;
    cmdFormal = NamedButton(this, u"cmdFormal"_s, u"按正式指纹"_s);
    cmdBackup = NamedButton(this, u"cmdBackup"_s, u"按备用指纹"_s);
    cmdUnknown = NamedButton(this, u"cmdUnknown"_s, u"未登记手指"_s);
    for (QPushButton *b : {cmdFormal, cmdBackup, cmdUnknown}) {
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    root->addLayout(buttons);
    lblLast = new QLabel(this);
    lblLast->setObjectName(u"lblLast"_s);
    root->addWidget(lblLast);

    connect(cmdFormal, &QPushButton::clicked, this, [this] { pressSelected(false); });
    connect(cmdBackup, &QPushButton::clicked, this, [this] { pressSelected(true); });
    connect(cmdUnknown, &QPushButton::clicked, this, &FingerprintSimulator::pressUnknown);
}

void FingerprintSimulator::listDrivers(const RecordSet &driversIn)
{
    const QString selected = lstDrivers->currentItem() ? lstDrivers->currentItem()->text(0) : QString();
    lstDrivers->clear();
    RecordSet drivers = driversIn;
    const bool hasTemplates = drivers.hasField(u"fng_value"_s);
    for (drivers.MoveFirst(); !drivers.isEOF(); drivers.MoveNext()) {
        auto *item = new QTreeWidgetItem(lstDrivers, {drivers.value(u"driver_no"_s).toString().trimmed(),
                                                      drivers.value(u"driver_name"_s).toString().trimmed()});
        if (hasTemplates && drivers.value(u"fng_value"_s).toString().trimmed().isEmpty()
            && drivers.value(u"fng_value1"_s).toString().trimmed().isEmpty()) {
            item->setForeground(0, Qt::gray);
            item->setForeground(1, Qt::gray);
        }
        if (item->text(0) == selected)
            lstDrivers->setCurrentItem(item);
    }
    if (!lstDrivers->currentItem() && lstDrivers->topLevelItemCount() > 0)
        lstDrivers->setCurrentItem(lstDrivers->topLevelItem(0));
}

void FingerprintSimulator::reloadDrivers()
{
    if (m_source)
        listDrivers(m_source());
}

void FingerprintSimulator::pressSelected(bool backup)
{
    QTreeWidgetItem *item = lstDrivers->currentItem();
    if (!item || !m_reader)
        return;
    const QString id = item->text(0);
    pressed(backup ? BackupFingerKey(id) : FormalFingerKey(id),
            u"%1 %2 的%3"_s.arg(id, item->text(1), backup ? u"备用指纹"_s : u"正式指纹"_s));
}

void FingerprintSimulator::pressUnknown()
{
    if (!m_reader)
        return;
    // The press runs the stations' handlers, which may show modal notices
    // for seconds: this window states the press before it happens and
    // touches nothing of itself afterwards unless it is still there.
    lblLast->setText(u"已按：未登记的手指"_s);
    QPointer<FingerprintSimulator> self(this);
    // Pressed through the reader so that the key comes out the reader's way.
    const QString key = m_reader->pressUnknown();
    if (!self)
        return;
    m_lastKey = key;
    emit fingerPressed(key);
}

void FingerprintSimulator::pressed(const QString &key, const QString &what)
{
    m_lastKey = key;
    lblLast->setText(u"已按：%1"_s.arg(what));
    QPointer<FingerprintSimulator> self(this);
    m_reader->press(key);
    if (self)
        emit fingerPressed(key);
}

} // namespace cg
