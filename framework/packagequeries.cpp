#include "packagequeries.h"

#include "localhostconnection.h"

#include <QHash>
#include <QPair>
#include <QRegularExpression>
#include <QVector>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <fnmatch.h>

namespace {

const QString showFormatOption = QStringLiteral("--showformat=");

bool joinable(const QString &package, const QString &showFormat)
{
    // A package name or a plain pattern (no architecture qualifier), and a format that makes
    // one line per package, before which the package's name can go.
    static const QRegularExpression name(QStringLiteral("^[a-z0-9][a-z0-9+.\\-\\[\\]*?]*$"));
    return name.match(package).hasMatch() && showFormat.startsWith(showFormatOption) &&
           showFormat.endsWith(QLatin1Char('\n')) && showFormat.count(QLatin1Char('\n')) == 1;
}

ProcessResult askAlone(const HostConnection &host, const QString &package,
                       const QString &showFormat)
{
    return host.run(QStringLiteral("dpkg-query"), {showFormat, QStringLiteral("--show"), package});
}

using Question = QPair<QString, QString>; // package, show format

/// The questions of one start(): asked on a thread of their own, answered all at once.
struct Round
{
    std::mutex lock;
    std::condition_variable done;
    bool answered = false;
    QHash<Question, ProcessResult> answers;
};

std::mutex roundsLock;
// Questions prepared for the next start(), one entry per preparation.
QVector<Question> prepared;
// Preparations not yet taken, and the round that answers each question.
QHash<Question, int> tickets;
QHash<Question, std::shared_ptr<Round>> rounds;

} // namespace

QList<ProcessResult> PackageQueries::askTogether(const QStringList &packages,
                                                 const QString &showFormat)
{
    return askTogether(*LocalHostConnection::outsideConsole(), packages, showFormat);
}

QList<ProcessResult> PackageQueries::askTogether(const HostConnection &host,
                                                 const QStringList &packages,
                                                 const QString &showFormat)
{
    QVector<ProcessResult> results(packages.size());
    // What cannot go in one run is asked alone; the rest together, if there are several.
    QVector<int> joined;
    for (int i = 0; i < packages.size(); ++i) {
        if (joinable(packages.at(i), showFormat))
            joined.append(i);
        else
            results[i] = askAlone(host, packages.at(i), showFormat);
    }
    if (joined.size() == 1)
        results[joined.first()] = askAlone(host, packages.at(joined.first()), showFormat);
    if (joined.size() < 2)
        return results.toList();
    QStringList names;
    for (int i : std::as_const(joined)) {
        if (!names.contains(packages.at(i)))
            names.append(packages.at(i));
    }
    // Each line starts with the name of the package it is about, then a tab.
    const QString format =
        showFormatOption + QStringLiteral("${Package}\t") + showFormat.mid(showFormatOption.size());
    const ProcessResult run = host.run(QStringLiteral("dpkg-query"),
                                       QStringList{format, QStringLiteral("--show")} + names);
    // dpkg-query exits 1 when a name is unknown (it still prints the others); anything else
    // is every question's answer alike.
    if (!run.finished || (run.exitCode != 0 && run.exitCode != 1) || run.outputCut) {
        for (int i : std::as_const(joined))
            results[i] = run;
        return results.toList();
    }
    QVector<QPair<QByteArray, QByteArray>> lines; // package name, the line as asked for
    const QList<QByteArray> raw = run.standardOutput.split('\n');
    for (const QByteArray &bytes : raw) {
        const int tab = bytes.indexOf('\t');
        if (tab > 0)
            lines.append({bytes.left(tab), bytes.mid(tab + 1)});
    }
    for (int i : std::as_const(joined)) {
        const QByteArray pattern = packages.at(i).toLocal8Bit();
        ProcessResult result;
        result.finished = true;
        for (const auto &line : std::as_const(lines)) {
            if (::fnmatch(pattern.constData(), line.first.constData(), 0) == 0)
                result.standardOutput += line.second + '\n';
        }
        // As a run of its own: 1 ("no packages found") when none of its names is known.
        result.exitCode = result.standardOutput.isEmpty() ? 1 : 0;
        results[i] = result;
    }
    return results.toList();
}

void PackageQueries::prepare(const QString &package, const QString &showFormat)
{
    if (!joinable(package, showFormat))
        return;
    const std::lock_guard<std::mutex> locker(roundsLock);
    prepared.append({package, showFormat});
}

void PackageQueries::start()
{
    start(LocalHostConnection::outsideConsole());
}

void PackageQueries::start(const QSharedPointer<HostConnection> &host)
{
    if (!host)
        return start();
    auto round = std::make_shared<Round>();
    QHash<QString, QStringList> byFormat;
    {
        const std::lock_guard<std::mutex> locker(roundsLock);
        if (prepared.isEmpty())
            return;
        for (const Question &question : std::as_const(prepared)) {
            ++tickets[question];
            rounds[question] = round;
            QStringList &packages = byFormat[question.second];
            if (!packages.contains(question.first))
                packages.append(question.first);
        }
        prepared.clear();
    }
    std::thread([round, byFormat, host] {
        QHash<Question, ProcessResult> answers;
        for (auto it = byFormat.cbegin(); it != byFormat.cend(); ++it) {
            const QList<ProcessResult> results = askTogether(*host, it.value(), it.key());
            for (int i = 0; i < results.size(); ++i)
                answers.insert({it.value().at(i), it.key()}, results.at(i));
        }
        const std::lock_guard<std::mutex> locker(round->lock);
        round->answers = answers;
        round->answered = true;
        round->done.notify_all();
    }).detach();
}

bool PackageQueries::take(const QString &package, const QString &showFormat, ProcessResult *result)
{
    const Question question{package, showFormat};
    std::shared_ptr<Round> round;
    {
        const std::lock_guard<std::mutex> locker(roundsLock);
        auto ticket = tickets.find(question);
        if (ticket == tickets.end())
            return false;
        round = rounds.value(question);
        if (--ticket.value() <= 0) {
            tickets.erase(ticket);
            rounds.remove(question);
        }
    }
    std::unique_lock<std::mutex> locker(round->lock);
    round->done.wait(locker, [&round] { return round->answered; });
    if (result)
        *result = round->answers.value(question);
    return true;
}

void PackageQueries::forget()
{
    const std::lock_guard<std::mutex> locker(roundsLock);
    prepared.clear();
    tickets.clear();
    rounds.clear();
}
