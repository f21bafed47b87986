// Bad input in every text field of every screen of the workstation, on the
// demo station: each field is found by its objectName and given an empty
// text, quotes and SQL, characters outside GBK, control characters, 10,000
// characters and one byte over its limit; Return is pressed in it, and then
// the screen's save and query buttons are clicked with the worst text still
// in every field. Nothing may crash, a field's byte limit must hold after
// every change, and every message the operator gets must be readable: never
// a database's own error text.

#include "app/config.h"
#include "demoworkstation.h"
#include "app/screens.h"
#include "app/startup.h"
#include "core/clock.h"
#include "core/text.h"
#include "services/database/database.h"
#include "support/testsupport.h"
#include "tools/admin.h"
#include "widgets/formregistry.h"
#include "widgets/gridhelpers.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

struct BadText {
    const char *name;
    QString text;
};

QList<BadText> badTexts()
{
    return {
        {"empty", QString()},
        {"quotes", u"O'Brien \"x\" ''"_s},
        {"SQL", u"'; DELETE FROM drivers; --"_s},
        {"outside GBK", u"😀𠀀🚌"_s},
        {"control characters", u"a"_s + QChar(0x01) + QChar(0x08) + QChar(0x1b) + u"\tb\r\nc"_s + QChar(0x7f)},
        {"NUL", u"a"_s + QChar(0) + u"b"_s},
        {"10,000 characters", QString(10000, u'车')},
    };
}

// The text fields a station operator can type into, by objectName.
QList<QWidget *> textFields(QWidget *form)
{
    QList<QWidget *> out;
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s) || !w->isEnabled())
            continue;
        if (auto *line = qobject_cast<QLineEdit *>(w)) {
            if (!line->isReadOnly() && !qobject_cast<QAbstractSpinBox *>(w->parentWidget())
                && !qobject_cast<QComboBox *>(w->parentWidget()))
                out << w;
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            if (combo->isEditable())
                out << w;
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(w)) {
            if (!plain->isReadOnly())
                out << w;
        } else if (auto *rich = qobject_cast<QTextEdit *>(w)) {
            if (!rich->isReadOnly())
                out << w;
        }
    }
    return out;
}

QString fieldText(QWidget *w)
{
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->text();
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->currentText();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
        return plain->toPlainText();
    if (auto *rich = qobject_cast<QTextEdit *>(w))
        return rich->toPlainText();
    return {};
}

// Puts text into the field as an operator would: typed when short, pasted
// when long (both are edits the field's own handlers see).
void enter(QWidget *w, const QString &text)
{
    QLineEdit *line = qobject_cast<QLineEdit *>(w);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        line = combo->lineEdit();
    if (line) {
        line->selectAll();
        const bool typable = text.size() <= 40 && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
                                 return c.unicode() >= 0x20 && c.unicode() < 0x7f;
                             });
        if (typable)
            QTest::keyClicks(line, text);
        else
            line->insert(text);
        if (text.isEmpty())
            line->del();
        return;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(w)) {
        plain->selectAll();
        plain->insertPlainText(text);
    } else if (auto *rich = qobject_cast<QTextEdit *>(w)) {
        rich->selectAll();
        rich->insertPlainText(text);
    }
}

// What a message must never be: the database's or Qt's own words.
bool readable(const QString &message)
{
    static const QStringList raw = {u"QPSQL"_s, u"QSQLITE"_s, u"Unable to"_s, u"ERROR:"_s, u"syntax error"_s,
                                    u"数据库操作失败"_s, u"SELECT "_s, u"INSERT "_s, u"UPDATE "_s};
    if (message.trimmed().isEmpty())
        return false;
    for (const QString &r : raw)
        if (message.contains(r))
            return false;
    return true;
}

} // namespace

class tst_badinput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyFieldOfEveryScreen();

private:
    QTemporaryDir m_dir;
    QString m_db;
    test::RecordingMessageSink m_sink;
    ManualClock m_clock;
};

void tst_badinput::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(u"demo.sqlite"_s);
    Database db(DbConfig::parse(m_db));
    db.migrate();
    seedDemoStation(db, QDate::currentDate());
}

void tst_badinput::everyFieldOfEveryScreen()
{
    m_clock.set(QDateTime::currentDateTime());
    Env env;
    env.messages = &m_sink;
    env.clock = &m_clock;
    const AppConfig config = test::DemoWorkstationConfig(m_db, FingerReaderKind::None);
    test::AcceptingClockSetter setter;
    Startup startup(env, setter);
    QVERIFY(startup.Main(config));

    FormRegistry all;
    StationContext &station = startup.station();
    RegisterEveryForm(all, env, station);
    QStringList forms = all.forms();
    forms.sort();
    QVERIFY(forms.size() > 20);

    // A window a click opens over the form under test is closed again: the
    // walk goes on with the form itself.
    QPointer<QWidget> current;
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, this, [&current] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != current) {
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        }
    });
    closer.start();

    QStringList faults;
    int fields = 0, limited = 0, entries = 0, messages = 0;
    const QStringList clicked = {u"cmdSave"_s, u"cmdOK"_s, u"cmdOk"_s, u"cmdQuery"_s, u"cmdQueryVehicle"_s,
                                 u"cmdQueryDriver"_s, u"cmdRefresh"_s};
    for (const QString &name : forms) {
        m_sink.clear();
        std::unique_ptr<QWidget> form(all.create(name, nullptr));
        if (!form)
            continue;
        current = form.get();
        form->show();
        QCoreApplication::processEvents();
        const QList<QWidget *> inputs = textFields(form.get());
        for (QWidget *w : inputs) {
            ++fields;
            const QString where = name + u"."_s + w->objectName();
            const int limit = ControlByteLimit(w);
            limited += limit > 0;
            QList<BadText> texts = badTexts();
            if (limit > 0) // one byte over, the last character a two-byte one
                texts.append({"one byte over", QString(limit - 1, u'a') + u"车"_s});
            for (const BadText &bad : texts) {
                if (!form || !w->isVisible() || !w->isEnabled())
                    break;
                ++entries;
                w->setFocus();
                enter(w, bad.text);
                if (limit > 0 && AnsiByteLength(fieldText(w)) > limit)
                    faults << where + u": "_s + QString::fromLatin1(bad.name) + u" passed the limit of %1 bytes"_s.arg(limit);
                QTest::keyClick(w, Qt::Key_Return);
                QCoreApplication::processEvents();
            }
        }
        // The worst text in every field at once, then the screen's buttons.
        for (QWidget *w : textFields(form.get()))
            enter(w, badTexts().constLast().text);
        for (const QString &button : clicked) {
            auto *b = form->findChild<QAbstractButton *>(button);
            if (b && b->isVisible() && b->isEnabled()) {
                b->click();
                QCoreApplication::processEvents();
            }
        }
        QStringList shown = m_sink.notices;
        for (const auto &box : m_sink.boxes)
            shown << box.spec.text;
        messages += int(shown.size());
        if (qEnvironmentVariableIsSet("CG_SHOW_MESSAGES"))
            for (const QString &m : shown)
                qInfo("%s: %s", qPrintable(name), qPrintable(m.left(100)));
        for (const QString &m : shown)
            if (!readable(m))
                faults << name + u": the operator was shown \""_s + m.left(200) + u"\""_s;
        form.reset();
        QCoreApplication::processEvents();
    }
    closer.stop();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    qInfo("%d forms, %d text fields (%d with a byte limit), %d entries, %d messages", int(forms.size()), fields,
          limited, entries, messages);
    QVERIFY(fields > 40);
    QVERIFY(limited > 10);

    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *tl : windows)
        tl->close();
}

QTEST_MAIN(tst_badinput)
#include "tst_badinput.moc"
