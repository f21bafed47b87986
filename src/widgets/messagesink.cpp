#include "messagesink.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace cg {

bool HasInteractiveDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen" && platform != u"minimal";
}

MsgAnswer DialogMessageSink::show(const MessageBoxSpec &spec, QWidget *parent)
{
    if (!HasInteractiveDisplay()) {
        // Nobody could see or close the box: say it on standard error and
        // take the safe answer.
        const QString line = u"coachgate: [%1] %2\n"_s.arg(spec.title, spec.text);
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        return spec.buttons == MsgButtons::YesNo ? MsgAnswer::No
               : spec.buttons == MsgButtons::OkCancel ? MsgAnswer::Cancel
                                                      : MsgAnswer::Ok;
    }
    QMessageBox box(parent);
    box.setWindowTitle(spec.title);
    box.setText(spec.text);
    switch (spec.icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (spec.buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    default: return spec.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
}

void DialogMessageSink::notify(const QString &message, QWidget *parent)
{
    show({u"注意"_s, message, MsgIcon::Information, MsgButtons::Ok}, parent);
}

} // namespace cg
