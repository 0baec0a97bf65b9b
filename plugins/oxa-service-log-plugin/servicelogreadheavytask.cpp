#include "servicelogreadheavytask.h"

#include "servicelogheavyelementdata.h"

#include <element.h>
#include <hostconnection.h>
#include <serviceheavyreadtask.h>
#include <taskmessages.h>

#include <QObject>

using ServiceLog::Line;
using ServiceLog::Mark;

namespace {
const QString journalctl = QStringLiteral("journalctl");

/// What the console says about a source, on one line: it may quote a tool's error output.
Line notice(const QString &text)
{
    return {Mark::Notice, ServiceLog::escapeLine(text.simplified().toUtf8())};
}
} // namespace

ServiceLogReadHeavyTask::ServiceLogReadHeavyTask(Element *element)
    : ReadPropertyHeavyTask(element, new ServiceLogHeavyElementData)
{
    // The sources are named on the GUI thread, while the service element surely exists.
    if (Element *service = element ? qobject_cast<Element *>(element->parentNode()) : nullptr)
        m_sources = ServiceLogSources::sourcesOf(service->elementType(), service->elementData());
    taskDescription().setDescription(QObject::tr("Read the log of service"));
}

ServiceLogReadHeavyTask::~ServiceLogReadHeavyTask() = default;

ServiceLogHeavyElementData *ServiceLogReadHeavyTask::record() const
{
    return dynamic_cast<ServiceLogHeavyElementData *>(data());
}

void ServiceLogReadHeavyTask::run()
{
    ServiceLogHeavyElementData *log = record();
    if (!log) {
        fail(QObject::tr("Failed to read the log of service"));
        return;
    }
    QVector<Line> &lines = log->lines();
    if (!m_sources.error.isEmpty()) {
        lines << notice(m_sources.error);
        succeedPartly(m_sources.error);
        return;
    }
    if (m_sources.units.isEmpty() && m_sources.files.isEmpty()) {
        lines << notice(QObject::tr("The console knows no log of this service."));
        succeed();
        return;
    }
    QStringList troubles;
    if (!m_sources.units.isEmpty()) {
        lines << Line{Mark::Source,
                      QObject::tr("journal: %1").arg(m_sources.units.join(QLatin1String(", ")))};
        if (host().pathInfo(ServiceLogSources::systemdMarker()).isDir()) {
            readJournal(&lines, &troubles);
        } else {
            lines << notice(QObject::tr("The host does not run systemd: its journal is not "
                                        "read."));
        }
    }
    for (const QString &file : std::as_const(m_sources.files)) {
        lines << Line{Mark::Source, QObject::tr("file: %1").arg(file)};
        readFile(file, &lines, &troubles);
    }
    if (troubles.isEmpty())
        succeed();
    else
        succeedPartly(troubles.join(QLatin1Char('\n')));
}

void ServiceLogReadHeavyTask::readJournal(QVector<Line> *lines, QStringList *troubles)
{
    const ProcessResult result =
        host().run(journalctl, ServiceLogSources::journalArguments(m_sources.units));
    QString trouble;
    if (!result.finished)
        trouble = TaskMessages::notFinished(journalctl, result);
    else if (result.exitCode != 0)
        trouble = TaskMessages::exitCode(journalctl, result.exitCode, result.errorText().trimmed());
    if (!trouble.isEmpty()) {
        lines->append(notice(trouble));
        troubles->append(trouble);
        return;
    }
    ServiceLog::Journal journal = ServiceLog::parseJournal(result.standardOutput);
    if (journal.unreadable > 0) {
        const QString unreadable = QObject::tr(
            "%n line(s) of the journal's output could not be read.", nullptr, journal.unreadable);
        lines->append(notice(unreadable));
        troubles->append(unreadable);
    }
    if (result.outputCut || ServiceLog::boundSource(&journal.lines)) {
        const QString cut = QObject::tr("Only the newest lines of the journal are shown.");
        lines->append(notice(cut));
        troubles->append(cut);
    }
    if (journal.lines.isEmpty())
        lines->append(notice(QObject::tr("The journal holds no lines of this service.")));
    *lines += journal.lines;
}

void ServiceLogReadHeavyTask::readFile(const QString &path, QVector<Line> *lines,
                                       QStringList *troubles)
{
    const HostFileContent content =
        host().readTail(path, ServiceLog::maxLines, ServiceLog::maxTailBytes);
    if (content.code == HostFileStatus::Missing) {
        // A service that has logged nothing yet has no file: nothing is wrong.
        lines->append(notice(QObject::tr("The file does not exist.")));
        return;
    }
    if (!content.ok()) {
        QString trouble = QObject::tr("%1 is not a regular file.").arg(path);
        if (content.code != HostFileStatus::NotRegular) {
            trouble = QObject::tr("Failed to read file %1").arg(path);
            if (!content.errorText.isEmpty())
                trouble += QStringLiteral(": ") + content.errorText;
        }
        lines->append(notice(trouble));
        troubles->append(trouble);
        return;
    }
    QVector<Line> fileLines = ServiceLog::parseFile(content.data);
    if (content.cut || ServiceLog::boundSource(&fileLines)) {
        const QString cut = QObject::tr("Only the last lines of %1 are shown.").arg(path);
        lines->append(notice(cut));
        troubles->append(cut);
    }
    if (fileLines.isEmpty())
        lines->append(notice(QObject::tr("The file is empty.")));
    *lines += fileLines;
}

void ServiceLogReadHeavyTask::afterRun()
{
    showServiceRead(this, record(), ElementCopy::Whole);
}
