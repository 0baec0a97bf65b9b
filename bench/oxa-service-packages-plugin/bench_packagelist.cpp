// Parses package lists of 1,000 to 100,000 lines, classifies as many dpkg-query records and
// builds the report of as many packages; prints the processor time per package, which must
// stay flat as the sizes grow (linear work). Then runs the real dpkg-query once for every
// package of the shipped lists, as a read does, and prints the wall time per query: that,
// not the parsing, is what a read costs.
//
// Usage: bench_packagelist [sizes...]

#include <packagelist.h>

#include <childprocess.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <ctime>

namespace {

// The thread's processor time: the machine may be busy with other work.
qint64 cpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {1000, 10000, 100000};

    QTextStream out(stdout);
    out << "packages  parse ns/pkg  record ns/pkg  report ns/pkg\n";
    for (int count : std::as_const(sizes)) {
        QString list;
        QStringList records;
        records.reserve(count);
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("package-%1").arg(i, 6, 10, QLatin1Char('0'));
            list += (i % 3 ? QString() : QStringLiteral("!")) + name + QLatin1Char('\n');
            records << QStringLiteral("%1\t1.%2-1\t%3")
                           .arg(name)
                           .arg(i)
                           .arg(i % 5 ? QStringLiteral("install ok installed")
                                      : QStringLiteral("deinstall ok config-files"));
        }

        qint64 start = cpuNs();
        const QList<PackageList::Entry> entries = PackageList::parse(list);
        const qint64 parseNs = cpuNs() - start;

        QMap<QString, QString> packages;
        start = cpuNs();
        for (int i = 0; i < count; ++i) {
            const PackageList::Record record = PackageList::parseRecord(records.at(i));
            packages.insert(entries.at(i).name, record.version);
        }
        const qint64 recordNs = cpuNs() - start;

        start = cpuNs();
        const QString html = PackageList::htmlReport(packages, QStringLiteral("Package Name"),
                                                     QStringLiteral("Version"));
        const qint64 reportNs = cpuNs() - start;

        out << QStringLiteral("%1  %2  %3  %4  (%5 chars)\n")
                   .arg(count, 8)
                   .arg(double(parseNs) / count, 12, 'f', 1)
                   .arg(double(recordNs) / count, 13, 'f', 1)
                   .arg(double(reportNs) / count, 13, 'f', 1)
                   .arg(html.size());
    }
    out.flush();

    // The real cost: one dpkg-query per package of every shipped list, one after the other.
    const QDir lists(QStringLiteral(OXA_PACKAGES_LISTS_DIR));
    int queries = 0;
    QElapsedTimer wall;
    wall.start();
    for (const QString &name : lists.entryList(QDir::Files)) {
        QFile file(lists.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const PackageList::Entry &entry :
             PackageList::parse(ChildProcess::decodeLocal8Bit(file.readAll()))) {
            ChildProcess::run(QStringLiteral("dpkg-query"),
                              {QStringLiteral("-W"), PackageList::queryFormat(), entry.name});
            ++queries;
        }
    }
    const qint64 ms = wall.elapsed();
    out << QStringLiteral("dpkg-query: %1 queries (every shipped list) in %2 ms, %3 ms each\n")
               .arg(queries)
               .arg(ms)
               .arg(queries ? double(ms) / queries : 0.0, 0, 'f', 2);
    return 0;
}
