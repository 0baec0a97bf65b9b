#include "testhost.h"
#include "translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTest>
#include <QThread>
#include <QTranslator>

namespace {

const char source[] = "Read Test service state";
const char translated[] = "Zustand des Testdienstes lesen";

QString translate()
{
    return QCoreApplication::translate("QObject", source);
}

QList<QTranslator *> translators()
{
    return qApp->findChildren<QTranslator *>(QString(), Qt::FindDirectChildrenOnly);
}

/// The catalogue of the test, compiled at build time, at @p name_<system locale>.qm.
bool placeCatalogue(TestHost &host, const QString &name)
{
    QFile compiled(QStringLiteral(OXA_TEST_CATALOGUE));
    if (!compiled.open(QIODevice::ReadOnly))
        return false;
    const QString locale =
        QLocale::system().uiLanguages().value(0).replace(QLatin1Char('-'), QLatin1Char('_'));
    return host.writeFile(PluginTranslations::directory() + QLatin1Char('/') + name +
                              QLatin1Char('_') + locale + QStringLiteral(".qm"),
                          compiled.readAll());
}

} // namespace

/** The routine that loads a plug-in's translation catalogue when its library is loaded. */
class TestPluginTranslations : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void directory();
    void loadsTheSystemLocaleCatalogue();
    void missingCatalogueLeavesNoTranslator();
    void anotherThreadPostsToTheApplication();
};

void TestPluginTranslations::cleanup()
{
    for (QTranslator *translator : translators()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void TestPluginTranslations::directory()
{
    QCOMPARE(PluginTranslations::directory(),
             QStringLiteral("/usr/share/vell/translations/vell-admin-service"));
}

void TestPluginTranslations::loadsTheSystemLocaleCatalogue()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(placeCatalogue(host, QStringLiteral("oxa-test-catalogue")));
    QCOMPARE(translate(), QString::fromLatin1(source));
    PluginTranslations::install("oxa-test-catalogue");
    QCOMPARE(translators().size(), 1);
    QCOMPARE(translate(), QString::fromUtf8(translated));
}

void TestPluginTranslations::missingCatalogueLeavesNoTranslator()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(placeCatalogue(host, QStringLiteral("oxa-test-catalogue")));
    PluginTranslations::install("oxa-other-catalogue");
    QVERIFY(translators().isEmpty());
    QCOMPARE(translate(), QString::fromLatin1(source));
}

void TestPluginTranslations::anotherThreadPostsToTheApplication()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(placeCatalogue(host, QStringLiteral("oxa-test-catalogue")));
    QScopedPointer<QThread> thread(
        QThread::create([] { PluginTranslations::install("oxa-test-catalogue"); }));
    thread->start();
    QVERIFY(thread->wait(10000));
    // Nothing was loaded on the other thread: the application's thread does it.
    QVERIFY(translators().isEmpty());
    QTRY_COMPARE(translators().size(), 1);
    QCOMPARE(translators().first()->thread(), qApp->thread());
    QCOMPARE(translate(), QString::fromUtf8(translated));
}

OXA_TEST_MAIN(TestPluginTranslations)
#include "tst_plugintranslations.moc"
