// A library that leaves a mark the moment it is loaded, before the console could look at its
// object: whoever gets it loaded runs code in the console. The mark goes to the file named by
// OXA_HOST_TEST_MARK.
#include <QObject>
#include <QtPlugin>

#include <cstdio>
#include <cstdlib>

namespace {
__attribute__((constructor)) void leaveMark()
{
    if (const char *path = std::getenv("OXA_HOST_TEST_MARK")) {
        if (FILE *mark = std::fopen(path, "a")) {
            std::fputs("loaded\n", mark);
            std::fclose(mark);
        }
    }
}
} // namespace

class TestMarkerPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "vell-admin-oxa/0.0")
};

#include "testmarkerplugin.moc"
