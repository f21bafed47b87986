#include "frmcheckpass.h"
#include "widgets/buttons.h"
#include "widgets/namedtimer.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
const QString kDriverVerify = u"frmDriverVerify"_s;
}

frmCheckPass::frmCheckPass(const QString &exitPassword, QWidget *parent)
    : QDialog(parent), m_exitPassword(exitPassword)
{
    setObjectName(u"frmCheckPass"_s);
    setWindowTitle(u"请输入密码"_s);
    setModal(true);

    auto *label = new QLabel(u"请输入密码："_s, this);
    label->setObjectName(u"lblPassword"_s);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(u"txtPassword"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setMinimumWidth(220);
    auto *cmdKey = new QPushButton(u".."_s, this);
    cmdKey->setObjectName(u"cmdKey"_s);
    cmdKey->setFixedWidth(36);
    cmdKey->setAutoDefault(false);
    auto *cmdOK = new QPushButton(u"确定"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdClose = new QPushButton(u"关闭"_s, this);
    cmdClose->setObjectName(u"cmdClose"_s);
    cmdClose->setAutoDefault(false);

    auto *row = new QHBoxLayout;
    row->addWidget(txtPassword, 1);
    row->addWidget(cmdKey);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addLayout(RightAlignedRow({cmdOK, cmdClose}));

    m_timer = NamedTimer(this, u"Timer1"_s, 1000, &frmCheckPass::Timer1_Timer);
    connect(cmdOK, &QPushButton::clicked, this, &frmCheckPass::cmdOK_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmCheckPass::cmdClose_Click);
    connect(cmdKey, &QPushButton::clicked, this, &frmCheckPass::cmdKey_Click);
}

void frmCheckPass::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_timer->isActive()) {
        m_countdown = 15;
        m_timer->start();
    }
    txtPassword->setFocus();
}

void frmCheckPass::Timer1_Timer()
{
    // Only the unattended check-in station gives up by itself.
    if (m_szParentForm != kDriverVerify)
        return;
    if (m_countdown < 0) {
        m_timer->stop();
        if (m_keyboard)
            m_keyboard->reject();
        m_ok = false;
        reject();
        return;
    }
    cmdClose->setText(u"关闭%1"_s.arg(m_countdown));
    --m_countdown;
}

void frmCheckPass::cmdOK_Click()
{
    if (txtPassword->text() == m_exitPassword) {
        m_ok = true;
        m_timer->stop();
        accept();
        return;
    }
    m_ok = false;
    txtPassword->clear();
    txtPassword->setFocus();
}

void frmCheckPass::cmdClose_Click()
{
    m_timer->stop();
    reject();
}

void frmCheckPass::cmdKey_Click()
{
    txtPassword->setFocus();
    frmExit keyboard(txtPassword, m_exitPassword, this);
    keyboard.m_szParentForm = m_szParentForm;
    connect(&keyboard, &frmExit::passwordConfirmed, this, &frmCheckPass::keyboardConfirmed);
    // Directly below this dialog, same left edge.
    const QRect frame = frameGeometry();
    keyboard.move(frame.left(), frame.top() + frame.height());
    m_keyboard = &keyboard;
    keyboard.exec();
    m_keyboard = nullptr;
}

void frmCheckPass::keyboardConfirmed()
{
    if (m_keyboard)
        m_keyboard->accept();
    m_timer->stop();
    m_ok = true;
    emit parentCloseRequested();
    accept();
}

frmExit::frmExit(QLineEdit *target, const QString &exitPassword, QWidget *parent)
    : QDialog(parent), m_target(target), m_exitPassword(exitPassword)
{
    setObjectName(u"frmExit"_s);
    setWindowTitle(u"键盘"_s);
    setModal(true);

    auto *grid = new QGridLayout(this);
    grid->setSpacing(4);
    auto makeKey = [this](const QString &name, const QString &caption) {
        auto *key = new QPushButton(caption, this);
        key->setObjectName(name);
        key->setAutoDefault(false);
        key->setFocusPolicy(Qt::NoFocus);
        key->setMinimumSize(44, 40);
        return key;
    };
    for (int d = 0; d < 10; ++d) {
        // Digits 1..9 then 0 along the top row, as on a keyboard.
        const int column = d == 0 ? 9 : d - 1;
        QPushButton *key = makeKey(u"cmdNum_%1"_s.arg(d), QString::number(d));
        connect(key, &QPushButton::clicked, this, [this, d] { cmdNum_Click(d); });
        grid->addWidget(key, 0, column);
    }
    static const char *const rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    for (int r = 0; r < 3; ++r) {
        const QString letters = QString::fromLatin1(rows[r]);
        for (int c = 0; c < letters.size(); ++c) {
            const int index = letters.at(c).unicode() - 'A';
            QPushButton *key = makeKey(u"cmdInput_%1"_s.arg(index), letters.mid(c, 1));
            connect(key, &QPushButton::clicked, this, [this, index] { cmdInput_Click(index); });
            grid->addWidget(key, r + 1, c);
        }
    }
    QPushButton *del = makeKey(u"cmdInput_26"_s, u"删除"_s);
    connect(del, &QPushButton::clicked, this, [this] { cmdInput_Click(26); });
    grid->addWidget(del, 2, 9);
    QPushButton *ok = makeKey(u"cmdOK"_s, u"确定"_s);
    connect(ok, &QPushButton::clicked, this, &frmExit::cmdOK_Click);
    grid->addWidget(ok, 3, 7, 1, 3);
}

void frmExit::cmdInput_Click(int index)
{
    if (!m_target)
        return;
    if (index == 26) {
        QString text = m_target->text();
        if (!text.isEmpty()) {
            text.chop(1);
            m_target->setText(text);
        }
        return;
    }
    if (index >= 0 && index < 26)
        m_target->setText(m_target->text() + QChar(u'A' + index));
}

void frmExit::cmdNum_Click(int digit)
{
    if (m_target && digit >= 0 && digit <= 9)
        m_target->setText(m_target->text() + QChar(u'0' + digit));
}

void frmExit::cmdOK_Click()
{
    // Other callers confirm with the password dialog's own button.
    if (m_szParentForm != kDriverVerify || !m_target)
        return;
    if (m_target->text() == m_exitPassword)
        emit passwordConfirmed();
    else
        m_target->clear();
}

} // namespace cg
