// Times the doveconf reader on output of doubling size, shaped like the real tool's (settings,
// services with listeners, the watched auth-client chain), and on single long lines that
// would make a backtracking matcher slow. Prints milliseconds and the ratio to the previous
// size: a linear reader stays near 2 per doubling. With --widget: 10,000 and 100,000 lines
// parsed, loaded into the Dovecot widget and sorted (see widgetbench.h).

#include "../widgetbench.h"
#include "servicemaildovecotmodule.h"

#include <doveconfparser.h>
#include <treenode.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <functional>

namespace {

/// About @p lines lines of doveconf output.
QByteArray output(int lines)
{
    QByteArray text = "# 2.3.19.1 (9b53102964): /etc/dovecot/dovecot.conf\nprotocols = imap pop3\n"
                      "ssl = yes\nlisten = *, ::\n";
    int written = 4;
    for (int i = 0; written < lines; ++i) {
        const QByteArray n = QByteArray::number(i);
        text += "setting_" + n + " = value " + n + " # note\n";
        text += "service svc" + n + " {\n  client_limit = 0\n  unix_listener listener" + n +
                " {\n    mode = 0600\n    user = $default_internal_user\n  }\n}\n";
        text += "service auth {\n  unix_listener auth-client {\n    mode = 0666\n  }\n}\n";
        written += 13;
    }
    return text;
}

QByteArray longSettingLine(int tokens)
{
    return "key = " + QByteArray("word ").repeated(tokens) + "\n";
}

QByteArray longSectionLine(int tokens)
{
    return QByteArray("a ").repeated(tokens) + "{\n" + QByteArray("b c ").repeated(tokens) + "\n";
}

int countLines(const QByteArray &text)
{
    return text.count('\n');
}

void run(QTextStream &out, const char *name, const std::function<QByteArray(int)> &make,
         const QList<int> &sizes)
{
    out << name << '\n';
    double previous = 0;
    for (int size : sizes) {
        const QByteArray text = make(size);
        QElapsedTimer timer;
        double best = -1;
        // The best of three: the machine is shared.
        for (int round = 0; round < 3; ++round) {
            timer.start();
            const QList<TreeNode *> nodes = DoveconfParser::parse(text);
            const double ms = timer.nsecsElapsed() / 1e6;
            qDeleteAll(nodes);
            if (best < 0 || ms < best)
                best = ms;
        }
        out << QStringLiteral("  %1 lines, %2 bytes: %3 ms")
                   .arg(countLines(text), 7)
                   .arg(text.size(), 9)
                   .arg(best, 9, 'f', 1);
        if (previous > 0)
            out << QStringLiteral("  (x%1)").arg(best / previous, 0, 'f', 2);
        out << '\n';
        out.flush();
        previous = best;
    }
}

} // namespace

int widgetSeries(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ServiceMailDovecotModule module(nullptr);
    Element *element = module.firstElement();
    WidgetBench::series("doveconf output", "lines", module.elementWidget(element->elementType()),
                        element, {10000, 100000}, [](int lines) {
                            auto *record = new ServiceHeavyElementData;
                            record->data() = DoveconfParser::parse(output(lines));
                            return record;
                        });
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--widget") == 0)
        return widgetSeries(argc, argv);
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    run(out, "doveconf-like output", output, {12500, 25000, 50000, 100000, 200000});
    run(out, "one long setting line (tokens)", longSettingLine, {10000, 20000, 40000, 80000});
    run(out, "long section line, long plain line (tokens)", longSectionLine,
        {10000, 20000, 40000, 80000});
    return 0;
}
