#pragma once

#include <serviceelement.h>

/** The LDAP server slapd below the Services root. */
class ServiceSlapdElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceSlapdElement(Module *module);
};
