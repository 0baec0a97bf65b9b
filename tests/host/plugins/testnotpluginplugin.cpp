// A library that claims the console's interface but whose object is no console plug-in: the
// console must report it and go on.
#include <QObject>
#include <QtPlugin>

class TestImpostorPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "vell-admin-oxa/0.0")
};

#include "testnotpluginplugin.moc"
