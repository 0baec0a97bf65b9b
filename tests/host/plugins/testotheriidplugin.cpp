// A Qt plug-in of another program: the console must ignore it without loading it.
#include <QObject>
#include <QtPlugin>

class TestOtherInterfacePlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.example.other-program/1.0")
};

#include "testotheriidplugin.moc"
