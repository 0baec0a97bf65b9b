#pragma once

#include <module.h>

/**
 * The "Mail" group's module ("ServiceMailModule"), parent of the Exim and Dovecot modules. It
 * has no service of its own: every operation goes to the framework's base, which passes it on
 * to the modules below.
 */
class ServiceMailModule : public Module
{
    Q_OBJECT
public:
    explicit ServiceMailModule(QObject *parent);
};
