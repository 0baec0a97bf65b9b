#include "servicemailplugin.h"

#include "servicemailmodule.h"

#include <hostconnection.h>
#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-mail-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "exim4-base", "dovecot-core")

ServiceMailPlugin::ServiceMailPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceMailPlugin"),
                    tr("Service mail plugin - dummy")),
      m_module(new ServiceMailModule(this))
{
    appendModule(m_module);
}

bool ServiceMailPlugin::isValid() const
{
    static const struct
    {
        const char *package;
        const char *pattern;
    } mailPackages[] = {
        {"exim4-base", "ii\\sexim4-base"},
        {"dovecot-core", "ii\\sdovecot-core"},
    };
    for (const auto &mail : mailPackages) {
        const ProcessResult result =
            PackageCheck::run(*hostConnection(), QString::fromLatin1(mail.package));
        // A package database that does not answer in time will not answer the next question
        // either: stop rather than wait another 30 s.
        if (!result.finished && result.error == ProcessResult::TimedOut)
            return false;
        // dpkg-query exits non-zero for a package it does not know (a host that purged Exim
        // for another mail transfer agent): not installed, but Dovecot may still be.
        if (!result.succeeded())
            continue;
        if (PackageCheck::anyLineMatches(result.outputLines(), QString::fromLatin1(mail.pattern)))
            return true;
    }
    return false;
}

QStringList ServiceMailPlugin::requiredPackageNames() const
{
    return {QStringLiteral("dovecot-core"), QStringLiteral("exim4-base")};
}
