// The notice window, the exit-password dialog and its on-screen keyboard.
#include "app/frmcheckpass.h"
#include "app/frmnotify.h"
#include "support/testsupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace cg;

class tst_dialogs : public QObject {
    Q_OBJECT
private slots:
    void notifyCountsDownAndCloses_data();
    void notifyCountsDownAndCloses();
    void notifyButtonEnabledAfterSevenSecondsCloses();
    void notifyClosesByItselfInRealTime();

    void wrongPasswordEmptiesAndStaysOpen();
    void rightPasswordAccepts();
    void passwordComparedCaseSensitively();
    void closeKeepsResult();
    void countdownOnlyForCheckInStation_data();
    void countdownOnlyForCheckInStation();
    void countdownClosesKeyboardToo();

    void keyboardTypesAndDeletes();
    void keyboardOkForCheckInStation_data();
    void keyboardOkForCheckInStation();
    void keyboardOkDoesNothingForOtherCallers();
    void keyboardOpensBelowDialog();
};

static QPushButton *button(QWidget *w, const char *name)
{
    auto *b = w->findChild<QPushButton *>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

void tst_dialogs::notifyCountsDownAndCloses_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("captions"); // after load, then after each tick while open
    QTest::newRow("ordinary notice")
        << QStringLiteral("保存成功！")
        << QStringList{QStringLiteral("确定(3)"), QStringLiteral("确定(2)"), QStringLiteral("确定(1)")};
    QTest::newRow("departure allowed") << QStringLiteral("允许发车成功！") << QStringList{QStringLiteral("确定(1)")};
    QTest::newRow("empty message") << QString() << QStringList{QStringLiteral("确定(3)"), QStringLiteral("确定(2)"),
                                                               QStringLiteral("确定(1)")};
}

void tst_dialogs::notifyCountsDownAndCloses()
{
    QFETCH(QString, message);
    QFETCH(QStringList, captions);
    frmNotify dialog;
    dialog.m_szErrorDescription = message;
    dialog.show();
    QPushButton *ok = button(&dialog, "cmdOK");
    QVERIFY(!ok->isEnabled());
    QSignalSpy finished(&dialog, &QDialog::finished);
    for (int i = 0; i < captions.size(); ++i) {
        QCOMPARE(ok->text(), captions.at(i));
        QVERIFY(dialog.isVisible());
        dialog.Timer2_Timer();
    }
    // One tick per second shown: the window is gone after the last one.
    QVERIFY(!dialog.isVisible());
    QCOMPARE(finished.count(), 1);
}

void tst_dialogs::notifyButtonEnabledAfterSevenSecondsCloses()
{
    frmNotify dialog;
    dialog.m_szErrorDescription = QStringLiteral("提示");
    dialog.show();
    QPushButton *ok = button(&dialog, "cmdOK");
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY2(dialog.isVisible(), "a disabled button does not close the notice");
    dialog.Timer1_Timer();
    QVERIFY(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void tst_dialogs::notifyClosesByItselfInRealTime()
{
    // Shown the way the message sink shows it: modal, nobody touching it.
    WorkstationMessageSink sink;
    QElapsedTimer timer;
    timer.start();
    sink.notify(QStringLiteral("允许发车成功！"));
    QVERIFY(timer.elapsed() >= 900);
    QVERIFY(timer.elapsed() < 2500);
}

void tst_dialogs::wrongPasswordEmptiesAndStaysOpen()
{
    frmCheckPass dialog(QStringLiteral("8888"));
    dialog.show();
    auto *box = dialog.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
    QCOMPARE(box->echoMode(), QLineEdit::Password);
    QTest::keyClicks(box, QStringLiteral("8887"));
    QTest::mouseClick(button(&dialog, "cmdOK"), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(box->text(), QString());
    QVERIFY(!dialog.m_ok);
    QTest::mouseClick(button(&dialog, "cmdClose"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.m_ok);
}

void tst_dialogs::rightPasswordAccepts()
{
    frmCheckPass dialog(QStringLiteral("8888"));
    dialog.m_szParentForm = QStringLiteral("frmDriverVerify");
    dialog.show();
    auto *box = dialog.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
    QTest::keyClicks(box, QStringLiteral("8888"));
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(dialog.m_ok);
    QVERIFY(!dialog.isVisible());
}

void tst_dialogs::passwordComparedCaseSensitively()
{
    frmCheckPass dialog(QStringLiteral("Abc"));
    dialog.show();
    auto *box = dialog.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
    QTest::keyClicks(box, QStringLiteral("ABC"));
    test::child<QPushButton>(&dialog, QStringLiteral("cmdOK"))->click();
    QVERIFY(!dialog.m_ok);
    QVERIFY(dialog.isVisible());
}

void tst_dialogs::closeKeepsResult()
{
    // An empty exit password is still a password: an empty box matches it.
    frmCheckPass dialog{QString()};
    dialog.show();
    test::child<QPushButton>(&dialog, QStringLiteral("cmdOK"))->click();
    QVERIFY(dialog.m_ok);
    QVERIFY(!dialog.isVisible());
}

void tst_dialogs::countdownOnlyForCheckInStation_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<bool>("countsDown");
    QTest::newRow("check-in station") << QStringLiteral("frmDriverVerify") << true;
    QTest::newRow("departure gate") << QStringLiteral("frmOutCheck") << false;
    QTest::newRow("no caller") << QString() << false;
}

void tst_dialogs::countdownOnlyForCheckInStation()
{
    QFETCH(QString, parent);
    QFETCH(bool, countsDown);
    frmCheckPass dialog(QStringLiteral("8888"));
    dialog.m_szParentForm = parent;
    dialog.show();
    QPushButton *close = button(&dialog, "cmdClose");
    QSignalSpy finished(&dialog, &QDialog::finished);
    for (int n = 15; n >= 0; --n) {
        dialog.Timer1_Timer();
        QCOMPARE(close->text(), countsDown ? QStringLiteral("关闭%1").arg(n) : QStringLiteral("关闭"));
        QVERIFY(dialog.isVisible());
    }
    dialog.Timer1_Timer(); // the tick after 关闭0
    QCOMPARE(dialog.isVisible(), !countsDown);
    QCOMPARE(finished.count(), countsDown ? 1 : 0);
    QVERIFY(!dialog.m_ok);
}

void tst_dialogs::countdownClosesKeyboardToo()
{
    frmCheckPass dialog(QStringLiteral("8888"));
    dialog.m_szParentForm = QStringLiteral("frmDriverVerify");
    dialog.show();
    bool keyboardWasOpen = false;
    // Inside the keyboard's modal loop, run the countdown out.
    QTimer::singleShot(0, &dialog, [&] {
        keyboardWasOpen = dialog.keyboard() && dialog.keyboard()->isVisible();
        for (int i = 0; i < 17; ++i)
            dialog.Timer1_Timer();
    });
    QTest::mouseClick(button(&dialog, "cmdKey"), Qt::LeftButton);
    QVERIFY(keyboardWasOpen);
    QVERIFY(!dialog.keyboard());
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.m_ok);
}

void tst_dialogs::keyboardTypesAndDeletes()
{
    QLineEdit box;
    frmExit keyboard(&box, QStringLiteral("8888"));
    keyboard.show();
    QTest::mouseClick(button(&keyboard, "cmdInput_0"), Qt::LeftButton);
    QTest::mouseClick(button(&keyboard, "cmdInput_1"), Qt::LeftButton);
    QCOMPARE(box.text(), QStringLiteral("AB"));
    QTest::mouseClick(button(&keyboard, "cmdInput_26"), Qt::LeftButton);
    QTest::mouseClick(button(&keyboard, "cmdNum_1"), Qt::LeftButton);
    QCOMPARE(box.text(), QStringLiteral("A1"));
    QTest::mouseClick(button(&keyboard, "cmdInput_25"), Qt::LeftButton);
    QTest::mouseClick(button(&keyboard, "cmdNum_0"), Qt::LeftButton);
    QCOMPARE(box.text(), QStringLiteral("A1Z0"));
    // Deleting from an empty box leaves it empty.
    box.clear();
    QTest::mouseClick(button(&keyboard, "cmdInput_26"), Qt::LeftButton);
    QCOMPARE(box.text(), QString());
}

void tst_dialogs::keyboardOkForCheckInStation_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right password") << QStringLiteral("8888") << true;
    QTest::newRow("wrong password") << QStringLiteral("888") << false;
}

void tst_dialogs::keyboardOkForCheckInStation()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    frmCheckPass dialog(QStringLiteral("8888"));
    dialog.m_szParentForm = QStringLiteral("frmDriverVerify");
    dialog.show();
    QSignalSpy closeParent(&dialog, &frmCheckPass::parentCloseRequested);
    bool keyboardStillOpen = false;
    QString boxAfter;
    QTimer::singleShot(0, &dialog, [&] {
        frmExit *keyboard = dialog.keyboard();
        for (QChar c : typed)
            QTest::mouseClick(button(keyboard, QStringLiteral("cmdNum_%1").arg(c).toLatin1().constData()),
                              Qt::LeftButton);
        QTest::mouseClick(button(keyboard, "cmdOK"), Qt::LeftButton);
        keyboardStillOpen = dialog.keyboard() && dialog.keyboard()->isVisible();
        boxAfter = dialog.findChild<QLineEdit *>(QStringLiteral("txtPassword"))->text();
        if (keyboardStillOpen)
            dialog.keyboard()->reject();
    });
    QTest::mouseClick(button(&dialog, "cmdKey"), Qt::LeftButton);
    QCOMPARE(keyboardStillOpen, !accepted);
    QCOMPARE(closeParent.count(), accepted ? 1 : 0);
    QCOMPARE(dialog.m_ok, accepted);
    QCOMPARE(dialog.isVisible(), !accepted);
    if (!accepted)
        QCOMPARE(boxAfter, QString());
}

void tst_dialogs::keyboardOkDoesNothingForOtherCallers()
{
    QLineEdit box;
    frmExit keyboard(&box, QStringLiteral("8888"));
    keyboard.m_szParentForm = QStringLiteral("frmTechCheck");
    keyboard.show();
    QSignalSpy confirmed(&keyboard, &frmExit::passwordConfirmed);
    box.setText(QStringLiteral("123"));
    QTest::mouseClick(button(&keyboard, "cmdOK"), Qt::LeftButton);
    QCOMPARE(box.text(), QStringLiteral("123"));
    box.setText(QStringLiteral("8888"));
    QTest::mouseClick(button(&keyboard, "cmdOK"), Qt::LeftButton);
    QCOMPARE(confirmed.count(), 0);
    QVERIFY(keyboard.isVisible());
}

void tst_dialogs::keyboardOpensBelowDialog()
{
    frmCheckPass dialog(QStringLiteral("8888"));
    dialog.move(200, 150);
    dialog.show();
    QRect dialogFrame;
    QPoint keyboardPos;
    QString keyboardParent;
    dialog.m_szParentForm = QStringLiteral("frmDriverVerify");
    QTimer::singleShot(0, &dialog, [&] {
        dialogFrame = dialog.frameGeometry();
        keyboardPos = dialog.keyboard()->frameGeometry().topLeft();
        keyboardParent = dialog.keyboard()->m_szParentForm;
        dialog.keyboard()->reject();
    });
    QTest::mouseClick(button(&dialog, "cmdKey"), Qt::LeftButton);
    QCOMPARE(keyboardPos, QPoint(dialogFrame.left(), dialogFrame.top() + dialogFrame.height()));
    QCOMPARE(keyboardParent, QStringLiteral("frmDriverVerify"));
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(tst_dialogs)
#include "tst_dialogs.moc"
