#pragma once

#include <QCoreApplication>

/** Translation catalogues of the plug-in libraries. */
namespace PluginTranslations {

/// Where the catalogues live.
QString directory();

/**
 * Loads "<directory>/<deliverable>_<locale>.qm" for the system locale into a translator owned
 * by the application and installs it; does nothing when there is none. Runs on the
 * application's thread: called from another thread, it posts itself there.
 */
void install(const char *deliverable);

} // namespace PluginTranslations

/**
 * Registers, when the plug-in library is loaded, the start-up routine that installs the
 * library's catalogue (at once when the application already exists). One use per library.
 */
#define OXA_REGISTER_CATALOGUE(deliverable)                                                        \
    namespace {                                                                                    \
    void oxaCatalogueRoutine()                                                                     \
    {                                                                                              \
        PluginTranslations::install(deliverable);                                                  \
    }                                                                                              \
    void oxaRegisterCatalogueRoutine()                                                             \
    {                                                                                              \
        qAddPreRoutine(oxaCatalogueRoutine);                                                       \
    }                                                                                              \
    }                                                                                              \
    Q_CONSTRUCTOR_FUNCTION(oxaRegisterCatalogueRoutine)
