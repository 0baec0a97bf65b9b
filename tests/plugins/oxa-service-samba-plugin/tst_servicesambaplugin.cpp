#include "testhost.h"

#include <element.h>
#include <module.h>
#include <plugin.h>
#include <translations.h>
#include <vieweditelementwidget.h>

#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPluginLoader>
#include <QTest>
#include <QTranslator>

/**
 * The Samba plug-in's library and its catalogue: loaded as the console loads it, the library
 * installs the catalogue for the system's locale. What every plug-in shares (entry points,
 * identity, package check, operations and their tasks) is in tst_pluginconformance.
 */
class TestServiceSambaPlugin : public QObject
{
    Q_OBJECT

private slots:
    void libraryInstallsItsCatalogue();
};

void TestServiceSambaPlugin::libraryInstallsItsCatalogue()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    // A catalogue for the system's locale, where the library looks for it when it is loaded.
    QFile compiled(QStringLiteral(OXA_SAMBA_TEST_CATALOGUE));
    QVERIFY(compiled.open(QIODevice::ReadOnly));
    const QString locale =
        QLocale::system().uiLanguages().value(0).replace(QLatin1Char('-'), QLatin1Char('_'));
    QVERIFY(host.writeFile(PluginTranslations::directory() +
                               QStringLiteral("/oxa-service-samba-plugin_%1.qm").arg(locale),
                           compiled.readAll()));

    QPluginLoader loader(QStringLiteral(OXA_SAMBA_PLUGIN_FILE));
    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    auto *plugin = qobject_cast<Plugin *>(instance);
    QVERIFY(plugin);

    // The library installed its catalogue when it was loaded.
    Element *element = plugin->modules().first()->firstElement();
    QCOMPARE(element->title(), QStringLiteral("Samba-Dateiserver"));
    ViewEditElementWidget *widget = plugin->modules().first()->elementWidgets().first();
    QCOMPARE(widget->findChild<QLabel *>(QStringLiteral("_stateLabelLabel"))->text(),
             QStringLiteral("Zustand:"));

    delete instance;
    for (QTranslator *translator :
         qApp->findChildren<QTranslator *>(QString(), Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

OXA_TEST_MAIN(TestServiceSambaPlugin)
#include "tst_servicesambaplugin.moc"
