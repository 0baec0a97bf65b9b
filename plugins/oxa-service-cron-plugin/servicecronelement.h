#pragma once

#include <serviceelement.h>

/** The cron daemon below the Services root; also starts the cron administration program. */
class ServiceCronElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceCronElement(Module *module);
};
