#pragma once

// A theme of the suite's own holding the cluster state icons, so that an icon looked up by
// name keeps its name whatever the machine has installed.

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

inline bool installStateIconTheme(const QTemporaryDir &dir)
{
    const QString actions = dir.filePath("oxa-test/16x16/actions");
    if (!dir.isValid() || !QDir().mkpath(actions))
        return false;
    QFile index(dir.filePath("oxa-test/index.theme"));
    if (!index.open(QIODevice::WriteOnly))
        return false;
    index.write("[Icon Theme]\nName=oxa-test\nDirectories=16x16/actions\n\n"
                "[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::green);
    for (const char *name : {"media-playback-start", "media-playback-stop"}) {
        if (!image.save(actions + QLatin1Char('/') + QLatin1String(name) + ".png"))
            return false;
    }
    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName("oxa-test");
    return true;
}

/// The theme name of the icon in @p value (empty for no icon).
inline QString iconName(const QVariant &value)
{
    return qvariant_cast<QIcon>(value).name();
}
