#include "translations.h"

#include <consoledata.h>

#include <QLocale>
#include <QThread>
#include <QTimer>
#include <QTranslator>

namespace PluginTranslations {

QString directory()
{
    return ConsoleData::path(QStringLiteral("translations/vell-admin-service"));
}

void install(const char *deliverable)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !deliverable)
        return;
    if (QThread::currentThread() != app->thread()) {
        QTimer::singleShot(0, app, [deliverable] { install(deliverable); });
        return;
    }
    auto *translator = new QTranslator(app);
    if (translator->load(QLocale::system(), QString::fromLatin1(deliverable), QStringLiteral("_"),
                         directory()))
        app->installTranslator(translator);
    else
        delete translator;
}

} // namespace PluginTranslations
