// Reads "tarn-client status" reports of 1,000 to 1,000,000 lines as the server and the daemon
// reads do, and single lines of 1,000 to 1,000,000 characters that hold no setting (the case
// that makes a search start again at every character); prints the processor time per line
// and per character, which must stay flat as the sizes grow (linear work). For comparison it
// times the regular expression the line reader stands for on the same long lines, up to the
// sizes it can finish.
//
// Usage: bench_tarnstatus [sizes...]

#include "tarnstatusparser.h"

#include <QCoreApplication>
#include <QRegExp>
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

const char *const reportLines[] = {
    "VERSION = 4.2",
    "DOMAIN = example.org",
    "SERVER = tarn1.example.org",
    "DESCRIPTION = Example Ltd. head office directory   ",
    "SERVER_EXPORT_DIR = /srv/tarn/export extra",
    "SERVER_POLLING_PERIOD = 60 s",
    "Server state: running",
    "UNKNOWN_KEY=value",
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {1000, 10000, 100000, 1000000};

    QTextStream out(stdout);
    out << "lines     server ns/line  daemon ns/line\n";
    for (int count : std::as_const(sizes)) {
        QStringList lines;
        lines.reserve(count);
        for (int i = 0; i < count; ++i)
            lines << QString::fromLatin1(reportLines[i % 8]);
        qint64 start = cpuNs();
        const TarnStatusParser::ServerReport report = TarnStatusParser::parseServerReport(lines);
        const qint64 serverNs = cpuNs() - start;
        start = cpuNs();
        const int daemonRows = TarnStatusParser::parseDaemonSettings(lines).size();
        const qint64 daemonNs = cpuNs() - start;
        out << qSetFieldWidth(8) << count << qSetFieldWidth(16) << double(serverNs) / count
            << double(daemonNs) / count << qSetFieldWidth(0) << "   (" << report.settings.size()
            << " and " << daemonRows << " rows)\n";
        out.flush();
    }

    QRegExp expression(QStringLiteral("([^=\\s]+)\\s*=\\s*((\\s*\\S+)*)"));
    for (const bool words : {false, true}) {
        out << (words ? "\nwords of three letters, no \"=\"\n" : "\none word, no \"=\"\n")
            << "chars     reader ns/char  expression ns/char\n";
        for (int count : std::as_const(sizes)) {
            QString line;
            line.reserve(count);
            for (int i = 0; i < count; ++i)
                line += QLatin1Char(words && i % 4 == 3 ? ' ' : 'k');
            TarnSetting setting;
            qint64 start = cpuNs();
            const bool matched = TarnStatusParser::matchSetting(line, &setting);
            const qint64 readerNs = cpuNs() - start;
            out << qSetFieldWidth(8) << count << qSetFieldWidth(16) << double(readerNs) / count;
            // The expression starts again at every character of a word: one long word costs
            // it the square of its length.
            if (count <= (words ? 1000000 : 10000)) {
                start = cpuNs();
                const bool expressionMatched = expression.indexIn(line) >= 0;
                out << double(cpuNs() - start) / count;
                if (expressionMatched != matched)
                    out << qSetFieldWidth(0) << "   (results differ!)";
            } else {
                out << "(skipped)";
            }
            out << qSetFieldWidth(0) << '\n';
            out.flush();
        }
    }
    return 0;
}
