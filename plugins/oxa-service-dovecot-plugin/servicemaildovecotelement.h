#pragma once

#include <serviceelement.h>

/** The Dovecot IMAP/POP server below the Mail group; offers reload while it runs. */
class ServiceMailDovecotElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceMailDovecotElement(Module *module);
};
