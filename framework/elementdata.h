#pragma once

#include "oxaglobal.h"

#include <QList>
#include <QString>
#include <QVariantMap>

class TreeNode;

/** The record of an element: a name and a string-to-variant property map. */
class OXA_EXPORT ElementData
{
public:
    ElementData() = default;
    explicit ElementData(const QString &name) : m_name(name) {}
    ElementData(const ElementData &other) = default;
    ElementData &operator=(const ElementData &other) = default;
    virtual ~ElementData();

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    QVariantMap &properties() { return m_properties; }
    const QVariantMap &properties() const { return m_properties; }
    QVariant property(const QString &key, const QVariant &defaultValue = QVariant()) const;
    void setProperty(const QString &key, const QVariant &value);
    bool hasProperty(const QString &key) const { return m_properties.contains(key); }

    /// Takes over name and properties of @p other (what a read brings into the element's record).
    void importFrom(const ElementData &other);
    /// The "configureParam" property: how the record names its object to the framework.
    virtual QString configureParams() const;

private:
    QString m_name;
    QVariantMap m_properties;
};

/**
 * A service's record: whether it runs, the text shown for that state (empty: never read), and
 * whether it starts at boot (empty: never read, or the service has no boot state).
 */
class OXA_EXPORT ServiceLightElementData : public ElementData
{
public:
    ServiceLightElementData() = default;
    ServiceLightElementData(const ServiceLightElementData &other) = default;
    /// Copies the light part only: state, state text, boot state and name.
    ServiceLightElementData &operator=(const ServiceLightElementData &other);

    bool state() const { return m_state; }
    QString textState() const { return m_textState; }
    /// An empty @p text stores the framework's own text: "running" or "stopped".
    void setState(bool running, const QString &text = QString());
    /// True once a state was read.
    bool isStateKnown() const { return !m_textState.isEmpty(); }
    /// What `systemctl is-enabled` (or the rc links) said: "enabled", "disabled", "masked", ...
    QString bootState() const { return m_bootState; }
    void setBootState(const QString &state) { m_bootState = state; }

    static QString runningText();
    static QString stoppedText();

private:
    bool m_state = false;
    QString m_textState;
    QString m_bootState;
};

/**
 * A service's full read: the light part, a configuration file name and text, and a list of
 * tree nodes that a widget loads into its tree. Nodes that never reached a tree (no parent)
 * are deleted with the record; nodes a tree took over are not.
 */
class OXA_EXPORT ServiceHeavyElementData : public ServiceLightElementData
{
public:
    ServiceHeavyElementData() = default;
    /// Copies everything but the node list, which has exactly one owner.
    ServiceHeavyElementData(const ServiceHeavyElementData &other);
    ServiceHeavyElementData &operator=(const ServiceHeavyElementData &other) = delete;
    ~ServiceHeavyElementData() override;

    QString configFile() const { return m_configFile; }
    void setConfigFile(const QString &file) { m_configFile = file; }
    QString configData() const { return m_configData; }
    void setConfigData(const QString &data) { m_configData = data; }

    QList<TreeNode *> &data() { return m_nodes; }
    const QList<TreeNode *> &data() const { return m_nodes; }

private:
    QString m_configFile;
    QString m_configData;
    QList<TreeNode *> m_nodes;
};
