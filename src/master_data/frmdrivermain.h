#pragma once

#include "frmdriver.h"
#include "stationui/registerscreen.h"

class QPushButton;

namespace cg {


// 驾驶员档案 (the driver register): drivers found by number and name, and the
// way into the driver record for adding, editing and deleting.
class frmDriverMain : public RegisterScreen {
    Q_OBJECT
public:
    frmDriverMain(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmDriverMain() override;

    // The filter fragment of the two boxes.
    QString Fragment() const;
    // The record screen (nullptr until first opened).
    frmDriver *recordScreen() const;

protected:
    void cmdQuery_Click() override;
    void writeRow(int r, const RecordSet &rs) override;
    RecordSet lookupRecord(const QString &key, Lookup kind) override;
    bool deleteRecord(const QString &key, QString *reason) override;
    RecordScreen *makeRecordScreen() override;

private:
    PlaceholderBox *txtDriverID, *txtDriverName;
};

} // namespace cg
