#include "elementdata.h"

#include "treenode.h"

#include <QCoreApplication>
#include <QPointer>

ElementData::~ElementData() = default;

QVariant ElementData::property(const QString &key, const QVariant &defaultValue) const
{
    return m_properties.value(key, defaultValue);
}

void ElementData::setProperty(const QString &key, const QVariant &value)
{
    m_properties.insert(key, value);
}

void ElementData::importFrom(const ElementData &other)
{
    if (&other == this)
        return;
    m_name = other.m_name;
    m_properties = other.m_properties;
}

QString ElementData::configureParams() const
{
    return m_properties.value(QStringLiteral("configureParam")).toString();
}

ServiceLightElementData &ServiceLightElementData::operator=(const ServiceLightElementData &other)
{
    if (&other != this) {
        setName(other.name());
        m_state = other.m_state;
        m_textState = other.m_textState;
        m_bootState = other.m_bootState;
    }
    return *this;
}

void ServiceLightElementData::setState(bool running, const QString &text)
{
    m_state = running;
    m_textState = text.isEmpty() ? (running ? runningText() : stoppedText()) : text;
}

QString ServiceLightElementData::runningText()
{
    return QCoreApplication::translate("ServiceLightElementData", "running");
}

QString ServiceLightElementData::stoppedText()
{
    return QCoreApplication::translate("ServiceLightElementData", "stopped");
}

ServiceHeavyElementData::ServiceHeavyElementData(const ServiceHeavyElementData &other)
    : ServiceLightElementData(other), m_configFile(other.m_configFile),
      m_configData(other.m_configData)
{
}

ServiceHeavyElementData::~ServiceHeavyElementData()
{
    // Nodes a tree took over have a parent there; the others still belong to this record.
    // Decide for all of them before deleting any, since deleting one deletes its subtree.
    QList<QPointer<TreeNode>> orphans;
    for (TreeNode *node : std::as_const(m_nodes)) {
        if (node && !node->parentNode())
            orphans.append(node);
    }
    for (const QPointer<TreeNode> &node : std::as_const(orphans))
        delete node.data();
}
