#pragma once

#include <QString>
#include <QStringList>

/**
 * Makes the theme icons that plug-ins name ("computer", "media-playback-start", "folder",
 * "text-plain", ...) show where the desktop sets no icon theme, through an installed theme.
 */
class IconTheme
{
public:
    /// The themes tried as the fallback, in order of preference.
    static QStringList fallbackThemes();
    /// The first of fallbackThemes() installed in a theme search path, or empty.
    static QString installedFallbackTheme();
    /**
     * Adds the system icon directories to the search path, sets the fallback theme, and makes
     * it the theme when the platform names none. Call before loading plug-ins: some create
     * their icons when loaded.
     */
    static void setUp();
};
