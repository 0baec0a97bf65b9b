#include "icontheme.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>

QStringList IconTheme::fallbackThemes()
{
    // breeze has every icon the plug-ins name (text-plain included); Adwaita lacks a few.
    return {QStringLiteral("breeze"), QStringLiteral("Adwaita")};
}

namespace {
QStringList systemIconDirectories()
{
    QStringList directories;
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        directories.append(QDir::cleanPath(dir + QStringLiteral("/icons")));
    return directories;
}
} // namespace

QString IconTheme::installedFallbackTheme()
{
    QStringList paths = QIcon::themeSearchPaths();
    paths += systemIconDirectories();
    for (const QString &theme : fallbackThemes()) {
        for (const QString &path : std::as_const(paths)) {
            if (QFileInfo::exists(path + QLatin1Char('/') + theme + QStringLiteral("/index.theme")))
                return theme;
        }
    }
    return QString();
}

void IconTheme::setUp()
{
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString &dir : systemIconDirectories()) {
        if (!paths.contains(dir) && QFileInfo(dir).isDir())
            paths.append(dir);
    }
    QIcon::setThemeSearchPaths(paths);

    const QString fallback = installedFallbackTheme();
    if (fallback.isEmpty())
        return;
    QIcon::setFallbackThemeName(fallback);
    // Without a desktop the platform names no theme, or only the bare "hicolor" base theme,
    // which has none of the action and device icons.
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor"))
        QIcon::setThemeName(fallback);
}
