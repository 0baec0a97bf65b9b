// Times the scheduler file reader on inputs of doubling size: a cupsd.conf-like file with
// nested sections, a printers.conf with many printers, and single lines built to make a
// backtracking tag expression slow (many "<a" tokens without a closing bracket, many stray
// closing tags, deep nesting). Prints milliseconds and the ratio to the previous size: a
// linear reader stays near 2 per doubling. With --printers: 500 and 5,000 printers parsed,
// loaded into the printers widget and sorted (see widgetbench.h).

#include "../widgetbench.h"
#include "servicecupsmodule.h"

#include <cupsconfreader.h>
#include <treenode.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegExp>
#include <QTextStream>

#include <functional>

namespace {

using Make = std::function<QByteArray(int)>;

QByteArray configuration(int sections)
{
    QByteArray text = "LogLevel warn\nListen localhost:631\n";
    for (int i = 0; i < sections; ++i) {
        text += "<Policy p" + QByteArray::number(i) +
                ">\n  JobPrivateAccess default\n"
                "  <Limit Create-Job Print-Job Print-URI Validate-Job>\n"
                "    Order deny,allow # comment\n  </Limit>\n</Policy>\n";
    }
    return text;
}

QByteArray printers(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        text += "<Printer P" + QByteArray::number(i) + ">\nInfo Room \\#" + QByteArray::number(i) +
                " <lab>\nOpPolicy default\nMacLabelMin s0\nMacLabelMax s3\nState Idle\n"
                "</Printer>\n";
    }
    return text;
}

QByteArray unclosedTags(int tokens)
{
    return QByteArray("<a ").repeated(tokens) + '\n';
}

QByteArray strayClosings(int lines)
{
    QByteArray text = QByteArray("<Open>\n").repeated(lines / 2);
    text += QByteArray("</Stray>\n").repeated(lines);
    return text;
}

QByteArray deepNesting(int depth)
{
    QByteArray text;
    for (int i = 0; i < depth; ++i)
        text += "<S" + QByteArray::number(i) + ">\nValue " + QByteArray::number(i) + "\n";
    return text;
}

/// The milliseconds one parse takes (best of three), nodes deleted outside the timing.
double timeParse(const QByteArray &text, CupsConfReader::Flavour flavour)
{
    double best = -1;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        CupsConfReader::Nodes nodes =
            CupsConfReader::parse(text, flavour, CupsConfReader::summaryKeys());
        const double ms = clock.nsecsElapsed() / 1e6;
        qDeleteAll(nodes.summary);
        qDeleteAll(nodes.topLevel);
        if (best < 0 || ms < best)
            best = ms;
    }
    return best;
}

/// The same line through the unanchored expression, as a backtracking search does it.
double timeExpression(const QByteArray &text)
{
    QRegExp open(QStringLiteral("<\\s*(\\S+)((\\s+\\S+)*)\\s*(/)?>"));
    const QString line = QString::fromLatin1(text).trimmed();
    QElapsedTimer clock;
    clock.start();
    open.indexIn(line);
    return clock.nsecsElapsed() / 1e6;
}

void series(QTextStream &out, const char *name, const Make &make, int from, int steps,
            CupsConfReader::Flavour flavour, bool withExpression = false)
{
    out << name << '\n';
    double previous = 0;
    for (int i = 0, size = from; i < steps; ++i, size *= 2) {
        const QByteArray text = make(size);
        const double ms = timeParse(text, flavour);
        out << QStringLiteral("  %1 units, %2 KiB: %3 ms")
                   .arg(size, 8)
                   .arg(text.size() / 1024, 6)
                   .arg(ms, 9, 'f', 2);
        if (previous > 0.05)
            out << QStringLiteral("  x%1").arg(ms / previous, 0, 'f', 2);
        if (withExpression && size <= 8000)
            out << QStringLiteral("   (expression: %1 ms)").arg(timeExpression(text), 0, 'f', 1);
        out << '\n';
        out.flush();
        previous = ms;
    }
}

} // namespace

int widgetSeries(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ServiceCupsModule module(nullptr);
    Element *element = nullptr;
    for (Element *candidate : module.elements()) {
        if (candidate->elementType() == QLatin1String("ServiceCupsPrinters"))
            element = candidate;
    }
    WidgetBench::series(
        "printers.conf", "printers", module.elementWidget(QStringLiteral("ServiceCupsPrinters")),
        element, {500, 5000}, [](int count) {
            auto *record = new ServiceHeavyElementData;
            CupsConfReader::Nodes nodes =
                CupsConfReader::parse(printers(count), CupsConfReader::Flavour::Printers);
            qDeleteAll(nodes.summary);
            record->data() = nodes.topLevel;
            return record;
        });
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--printers") == 0)
        return widgetSeries(argc, argv);
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    using CupsConfReader::Flavour;
    series(out, "cupsd.conf with nested policies (sections)", configuration, 2000, 6,
           Flavour::Configuration);
    series(out, "printers.conf (printers)", printers, 2000, 6, Flavour::Printers);
    series(out, "one line of unclosed \"<a\" tokens (tokens)", unclosedTags, 1000, 6,
           Flavour::Configuration, true);
    series(out, "stray closing tags (lines)", strayClosings, 10000, 6, Flavour::Configuration);
    series(out, "sections nested without end (depth)", deepNesting, 10000, 6,
           Flavour::Configuration);
    return 0;
}
