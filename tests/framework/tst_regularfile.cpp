#include <regularfile_p.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

/** Opening the host's files: only regular ones, judged on what was opened, never blocking. */
class TestRegularFile : public QObject
{
    Q_OBJECT
private slots:
    void open_data();
    void open();
};

void TestRegularFile::open_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("result");
    QTest::newRow("regular file") << "file" << int(RegularFile::Opened);
    QTest::newRow("link to a regular file") << "link" << int(RegularFile::Opened);
    QTest::newRow("nothing there") << "missing" << int(RegularFile::Missing);
    QTest::newRow("dangling link") << "dangling" << int(RegularFile::Missing);
    QTest::newRow("directory") << "directory" << int(RegularFile::NotRegular);
    // Opening a FIFO without a writer waits for one: it must not.
    QTest::newRow("FIFO without a writer") << "fifo" << int(RegularFile::NotRegular);
    QTest::newRow("link to a FIFO") << "fifolink" << int(RegularFile::NotRegular);
    QTest::newRow("device that never ends") << "device" << int(RegularFile::NotRegular);
}

void TestRegularFile::open()
{
    QFETCH(QString, kind);
    QFETCH(int, result);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("target"));
    const QString file = dir.filePath(QStringLiteral("file"));
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QFile content(file);
    QVERIFY(content.open(QIODevice::WriteOnly));
    content.write("[global]\n");
    content.close();
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    if (kind == QLatin1String("file"))
        QVERIFY(QFile::copy(file, path));
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(file, path));
    else if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));
    else if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QLatin1String("fifo"))
        QVERIFY(QFile::rename(fifo, path));
    else if (kind == QLatin1String("fifolink"))
        QVERIFY(QFile::link(fifo, path));
    else if (kind == QLatin1String("device"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));

    QFile opened;
    QString why;
    QCOMPARE(int(RegularFile::open(&opened, path, &why)), result);
    QCOMPARE(opened.isOpen(), result == RegularFile::Opened);
    if (result == RegularFile::Opened)
        QCOMPARE(opened.readAll(), QByteArray("[global]\n"));
    else if (result == RegularFile::NotRegular)
        QCOMPARE(why, QStringLiteral("Not a regular file"));
    else
        QVERIFY(!why.isEmpty());
}

QTEST_MAIN(TestRegularFile)
#include "tst_regularfile.moc"
