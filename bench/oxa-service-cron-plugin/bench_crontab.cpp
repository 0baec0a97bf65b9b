// Parses crontabs of 10,000 to 160,000 lines, and one long line without a line feed, and
// prints the time per line: flat when the reader is linear. With --widget: crontabs of 1,000
// and 10,000 lines parsed, loaded into the Cron widget and sorted (see widgetbench.h).
#include "../widgetbench.h"
#include "servicecronmodule.h"

#include <crontabreader.h>

#include <treenode.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

QByteArray crontab(int lines)
{
    QByteArray content;
    content.reserve(lines * 48);
    for (int i = 0; i < lines; ++i) {
        switch (i % 4) {
        case 0:
            content += "# comment line\n";
            break;
        case 1:
            content += "MAILTO=root\n";
            break;
        default:
            content += QByteArray::number(i % 60) + "\t3 * * *\troot /usr/bin/job # note\n";
        }
    }
    return content;
}

} // namespace

int widgetSeries(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ServiceCronModule module(nullptr);
    Element *element = module.firstElement();
    WidgetBench::series("crontab", "lines", module.elementWidget(element->elementType()), element,
                        {1000, 10000}, [](int lines) {
                            auto *record = new ServiceHeavyElementData;
                            record->data() = CronTabReader::buildTree(
                                CronTabReader::crontabPath(),
                                CronTabReader::entries(crontab(lines)), {}, {});
                            return record;
                        });
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--widget") == 0)
        return widgetSeries(argc, argv);
    QTextStream out(stdout);
    for (int lines = 10000; lines <= 160000; lines *= 2) {
        const QByteArray content = crontab(lines);
        QElapsedTimer timer;
        timer.start();
        const QStringList entries = CronTabReader::entries(content);
        const QList<TreeNode *> nodes = CronTabReader::buildTree(
            CronTabReader::crontabPath(), entries, CronTabReader::jobDirectories(), {});
        const qint64 ns = timer.nsecsElapsed();
        out << lines << " lines: " << ns / 1000000.0 << " ms, " << ns / lines << " ns/line, "
            << entries.size() << " entries\n";
        qDeleteAll(nodes);
    }
    // One line of 4 MB with a NUL in the middle: a single scan, whatever its length.
    QByteArray longLine(4 * 1024 * 1024, 'x');
    longLine[longLine.size() / 2] = '\0';
    QElapsedTimer timer;
    timer.start();
    const QStringList entries = CronTabReader::entries(longLine);
    out << "one 4 MB line: " << timer.nsecsElapsed() / 1000000.0 << " ms, " << entries.size()
        << " entry\n";
    return 0;
}
