#include "taskdescription.h"

QString TaskDescription::statusName(int status)
{
    // Words for logs and machine-read reports: not translated.
    switch (status) {
    case TaskStatusFailed:
        return QStringLiteral("failed");
    case TaskStatusDone:
        return QStringLiteral("done");
    case TaskStatusWarning:
        return QStringLiteral("warning");
    case TaskStatusUnknown:
        return QStringLiteral("unknown");
    default:
        return QStringLiteral("undefined");
    }
}
