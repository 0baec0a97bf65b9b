#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "oxaglobal.h"
#include "taskobserver.h"

class Element;
class Module;
class TestHost;

/// What the service task tests of the plug-ins share: how they start operations, record the
/// init script's calls and lay the script out for a case.
namespace ServiceTaskCheck {

/// The lines the recording init script appended to @p file; empty when it never ran.
QStringList recordedCalls(const QString &file);
/// The descriptions of @p reports, in order.
QStringList descriptions(const QList<TaskReport> &reports);
/**
 * Performs @p operation on @p element or, with @p onRoot, through @p module on the Services
 * root's element as the framework hands it to every module. Wait with TaskRunner::waitForIdle.
 */
void perform(Module *module, Element *element, bool onRoot, OperationType operation);
/**
 * Lays out the init script @p script as a case names it: "hang" never ends, "crash" dies of a
 * signal, "missing" is no file at all; anything else is the script's shell body.
 */
bool writeInitScript(TestHost &host, const QString &script, const QString &kind);

} // namespace ServiceTaskCheck
