#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace cg;
using namespace Qt::StringLiterals;

// Writing a finished file in place of an older one: the old file is never
// lost when the new one cannot take its place, and a part is never left
// behind.
class TstFiles : public QObject {
    Q_OBJECT

private slots:
    void replaceFileWith_data();
    void replaceFileWith();
    void readAndWriteBytes();
};

void TstFiles::replaceFileWith_data()
{
    QTest::addColumn<bool>("oldFile");
    QTest::addColumn<QString>("blocker"); // what stands in the way, if anything
    QTest::addColumn<bool>("replaced");
    QTest::newRow("replaces the old file") << true << QString() << true;
    QTest::newRow("makes a missing file") << false << QString() << true;
    QTest::newRow("target is a folder") << false << u"folder"_s << false;
    QTest::newRow("folder not writable") << true << u"read-only folder"_s << false;
}

void TstFiles::replaceFileWith()
{
    QFETCH(bool, oldFile);
    QFETCH(QString, blocker);
    QFETCH(bool, replaced);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"list.xlsx"_s);
    const QString part = path + u".part"_s;
    if (oldFile)
        QVERIFY(WriteFileBytes(path, "old"));
    QVERIFY(WriteFileBytes(part, "new"));
    if (blocker == u"folder")
        QVERIFY(QDir().mkpath(dir.filePath(u"list.xlsx/inside"_s)));
    if (blocker == u"read-only folder") {
        if (::geteuid() == 0)
            QSKIP("root writes into a read-only folder");
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    QString why;
    const bool ok = ReplaceFileWith(path, part, &why);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(ok, replaced);
    QCOMPARE(why.isEmpty(), replaced);
    QByteArray bytes;
    if (replaced) {
        QVERIFY(ReadFileBytes(path, bytes));
        QCOMPARE(bytes, QByteArray("new"));
        QVERIFY(!QFile::exists(part));
    } else if (oldFile) {
        QVERIFY(ReadFileBytes(path, bytes));
        QCOMPARE(bytes, QByteArray("old"));
    }
    if (blocker == u"folder") {
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(!QFile::exists(part));
    }
}

void TstFiles::readAndWriteBytes()
{
    QTemporaryDir dir;
    QByteArray bytes;
    QVERIFY(!ReadFileBytes(dir.filePath(u"missing"_s), bytes));
    QCOMPARE(bytes, QByteArray("1"));
    QVERIFY(!WriteFileBytes(dir.filePath(u"no/such/folder/file"_s), "x"));
    QVERIFY(WriteFileBytes(dir.filePath(u"empty"_s), QByteArray()));
    QVERIFY(!ReadFileBytes(dir.filePath(u"empty"_s), bytes)); // an empty file reads as a failure
}

QTEST_GUILESS_MAIN(TstFiles)
#include "tst_files.moc"
