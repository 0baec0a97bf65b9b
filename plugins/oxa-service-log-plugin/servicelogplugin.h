#pragma once

#include <plugin.h>

/**
 * The service log plug-in: one work module and a supplement module per service element type,
 * which hang a log under each service element and database cluster of the other plug-ins.
 */
class ServiceLogPlugin : public Plugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceLogPlugin(QObject *parent = nullptr);
    ~ServiceLogPlugin() override;
};
