#pragma once

#include <plugin.h>

struct ServiceRow;

/**
 * A plug-in whose validity is one package check: dpkg-query for a package, valid when a line
 * matches the pattern (e.g. `ii\ssamba`). Without a package it keeps the framework's check.
 */
class ServicePlugin : public Plugin
{
    Q_OBJECT
public:
    ServicePlugin(QObject *parent, int type, const QString &name, const QString &description,
                  const QString &package = QString(), const QString &pattern = QString(),
                  const QStringList &requiredPackages = QStringList());
    /// A service plug-in valid where the package of @p row is installed ("ii").
    ServicePlugin(QObject *parent, const QString &name, const QString &description,
                  const ServiceRow &row);

    bool isValid() const override;
    QStringList requiredPackageNames() const override;

    QString package() const { return m_package; }
    QString pattern() const { return m_pattern; }

private:
    QString m_package;
    QString m_pattern;
    QStringList m_required;
};
