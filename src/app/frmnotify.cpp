#include "frmnotify.h"
#include "widgets/namedtimer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
const QString kDepartureAllowed = u"允许发车成功！"_s;
}

frmNotify::frmNotify(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmNotify"_s);
    setWindowTitle(u"注意"_s);
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose, false);

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(u"lblMessage"_s);
    lblMessage->setWordWrap(true);
    lblMessage->setAlignment(Qt::AlignCenter);
    QFont f = lblMessage->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    lblMessage->setFont(f);
    lblMessage->setMinimumSize(360, 90);

    cmdOK = new QPushButton(u"确定(3)"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setEnabled(false);
    cmdOK->setMinimumWidth(110);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage, 1);
    layout->addLayout(buttons);

    m_timer1 = NamedTimer(this, u"Timer1"_s, 7000, &frmNotify::Timer1_Timer);
    m_timer2 = NamedTimer(this, u"Timer2"_s, 1000, &frmNotify::Timer2_Timer);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

void frmNotify::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded)
        load();
}

void frmNotify::load()
{
    m_loaded = true;
    lblMessage->setText(m_szErrorDescription);
    if (m_szErrorDescription == kDepartureAllowed) {
        m_countdown = 0;
        cmdOK->setText(u"确定(1)"_s);
    } else {
        m_countdown = 2;
        cmdOK->setText(u"确定(3)"_s);
    }
    m_timer1->start();
    m_timer2->start();
}

void frmNotify::Timer1_Timer()
{
    m_timer1->stop();
    cmdOK->setEnabled(true);
}

void frmNotify::Timer2_Timer()
{
    if (cmdOK->isEnabled() || m_countdown < 1) {
        m_timer2->stop();
        m_timer1->stop();
        cmdOK->setText(u"确定(&A)"_s);
        accept();
        return;
    }
    cmdOK->setText(u"确定(%1)"_s.arg(m_countdown));
    --m_countdown;
}

void WorkstationMessageSink::notify(const QString &message, QWidget *parent)
{
    frmNotify dialog(parent);
    dialog.m_szErrorDescription = message;
    dialog.exec();
}

} // namespace cg
