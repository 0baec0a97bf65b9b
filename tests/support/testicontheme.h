#pragma once

// A theme of the suite's own holding the icons it looks up, so that an icon looked up by name
// keeps its name whatever themes the machine has installed (the offscreen platform knows none).

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

/// Lays a theme holding @p names (a 16x16 image each) into @p dir and makes it the current one.
inline bool installIconTheme(const QTemporaryDir &dir, const QStringList &names)
{
    const QString icons = dir.filePath(QStringLiteral("oxa-test/16x16/apps"));
    if (!dir.isValid() || !QDir().mkpath(icons))
        return false;
    QFile index(dir.filePath(QStringLiteral("oxa-test/index.theme")));
    if (!index.open(QIODevice::WriteOnly))
        return false;
    index.write("[Icon Theme]\nName=oxa-test\nDirectories=16x16/apps\n\n"
                "[16x16/apps]\nSize=16\nType=Fixed\n");
    index.close();
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::green);
    for (const QString &name : names) {
        if (!image.save(icons + QLatin1Char('/') + name + QStringLiteral(".png")))
            return false;
    }
    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName(QStringLiteral("oxa-test"));
    return true;
}

/// The theme with the icons of a service's or cluster's state, running and stopped.
inline bool installStateIconTheme(const QTemporaryDir &dir)
{
    return installIconTheme(
        dir, {QStringLiteral("media-playback-start"), QStringLiteral("media-playback-stop")});
}

/// The theme name of the icon in @p value (empty for no icon).
inline QString iconName(const QVariant &value)
{
    return qvariant_cast<QIcon>(value).name();
}
