#pragma once

#include "oxaglobal.h"

#include <QList>
#include <QObject>
#include <QStringList>

class Module;

#define OXA_PLUGIN_IID "vell-admin-oxa/0.0"

/**
 * What a plug-in library hands the console: its type, name and description, whether it is
 * valid on this host (its service's package is installed), and its modules.
 */
class OXA_EXPORT Plugin : public QObject
{
    Q_OBJECT
public:
    explicit Plugin(QObject *parent = nullptr);
    ~Plugin() override;

    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString description() const { return m_description; }
    void setDescription(const QString &description) { m_description = description; }

    /// The modules, in creation order (children of the plug-in object).
    QList<Module *> modules() const;
    void appendModule(Module *module);

    /// Whether the plug-in has something to show on this host; true by default. May block
    /// (it asks the package database); the host calls it on a worker thread.
    virtual bool isValid() const;
    /// The Debian packages the plug-in is about.
    virtual QStringList requiredPackageNames() const;

private:
    int m_type = 0;
    QString m_name;
    QString m_description;
    QList<Module *> m_modules;
};

Q_DECLARE_INTERFACE(Plugin, OXA_PLUGIN_IID)
