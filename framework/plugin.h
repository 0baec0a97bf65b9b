#pragma once

#include "oxaglobal.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QStringList>

class HostConnection;
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
    /// The kinds of plug-in (type()): the console's groundwork (the Services root, the
    /// package lists) or a service's.
    enum Type
    {
        TypeCore = 1,
        TypeService = 5
    };

    explicit Plugin(QObject *parent = nullptr);
    ~Plugin() override;

    /// A Type (the report shows the number).
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString description() const { return m_description; }
    void setDescription(const QString &description) { m_description = description; }

    /// The modules, in creation order (children of the plug-in object).
    QList<Module *> modules() const;
    void appendModule(Module *module);

    /**
     * The host the plug-in's check asks: its first module's connection (the console sets it
     * before the check), LocalHostConnection::outsideConsole() for a plug-in without modules.
     */
    QSharedPointer<HostConnection> hostConnection() const;

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

/**
 * Work a plug-in library starts for its plug-in object while the console makes the others.
 * A library registers a routine when it is loaded (OXA_REGISTER_PREPARATION); the host starts
 * every routine registered once it has loaded all libraries and before it makes the first
 * plug-in object. A routine runs on the GUI thread and returns at once: it starts its work in
 * the background (a read-only question to a tool, say) for the constructor to collect. Where
 * nobody starts them (a test that makes a plug-in object directly) the constructor does the
 * work itself, so a routine only ever saves time. A routine that asks the host takes the
 * connection it is to ask (HostRoutine).
 */
namespace PluginPreparations {
using Routine = void (*)();
using HostRoutine = void (*)(const QSharedPointer<HostConnection> &host);
OXA_EXPORT void add(Routine routine);
OXA_EXPORT void add(HostRoutine routine);
/// Starts the routines registered since the last call, in the order they were registered,
/// for @p host (the console's connection).
OXA_EXPORT void startAll(const QSharedPointer<HostConnection> &host);
/// The same for the local host, before the console has made its connection.
OXA_EXPORT void startAll();
} // namespace PluginPreparations

/// Registers @p routine (a function without arguments) as a preparation of this library.
#define OXA_REGISTER_PREPARATION(routine)                                                          \
    OXA_REGISTER_PREPARATION_AS(routine, OXA_PREPARATION_NAME(oxaRegisterPreparation, __LINE__))
#define OXA_PREPARATION_NAME(stem, line) OXA_PREPARATION_JOIN(stem, line)
#define OXA_PREPARATION_JOIN(stem, line) stem##line
#define OXA_REGISTER_PREPARATION_AS(routine, registrar)                                            \
    namespace {                                                                                    \
    void registrar()                                                                               \
    {                                                                                              \
        PluginPreparations::add(routine);                                                          \
    }                                                                                              \
    }                                                                                              \
    Q_CONSTRUCTOR_FUNCTION(registrar)
