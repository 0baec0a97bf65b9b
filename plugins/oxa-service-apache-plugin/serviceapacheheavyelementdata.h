#pragma once

#include <elementdata.h>

#include <QSet>
#include <QString>

/**
 * What the Apache reads bring and the updates send: after a read, the names shown ticked and
 * the names shown but not changeable; in an update, the names to enable and to disable.
 */
class ServiceApacheHeavyElementData : public ServiceHeavyElementData
{
public:
    ServiceApacheHeavyElementData() = default;

    /// After a read: enabled sites or loaded shared modules. In an update: names to enable.
    QSet<QString> &checkedNames() { return m_checkedNames; }
    const QSet<QString> &checkedNames() const { return m_checkedNames; }
    /// After a read: host names or static modules. In an update: names to disable.
    QSet<QString> &blockedNames() { return m_blockedNames; }
    const QSet<QString> &blockedNames() const { return m_blockedNames; }
    /// Reload (sites) or restart (modules) the running service after a good update.
    bool autoApply() const { return m_autoApply; }
    void setAutoApply(bool autoApply) { m_autoApply = autoApply; }

private:
    QSet<QString> m_checkedNames;
    QSet<QString> m_blockedNames;
    bool m_autoApply = false;
};
