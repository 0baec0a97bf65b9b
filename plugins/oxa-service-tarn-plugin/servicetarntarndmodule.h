#pragma once

#include <servicemodule.h>

/**
 * The directory daemon's module, below the directory module: the daemon's own operations,
 * and a refresh of its state whenever the directory element's content or configuration is
 * read.
 */
class ServiceTarnTarndModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceTarnTarndModule(QObject *parent);

protected:
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
