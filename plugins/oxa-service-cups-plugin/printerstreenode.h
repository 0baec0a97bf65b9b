#pragma once

#include <plugintreenodes.h>

/** A printer or class of the scheduler, or one of its settings: name, value, policy, labels. */
class PrintersTreeNode : public ConfTreeNode
{
    Q_OBJECT
public:
    PrintersTreeNode(const QString &name, const QString &value, QObject *parent = nullptr);

    QString policy() const { return m_policy; }
    void setPolicy(const QString &policy) { m_policy = policy; }
    QString minLabel() const { return m_minLabel; }
    void setMinLabel(const QString &label) { m_minLabel = label; }
    QString maxLabel() const { return m_maxLabel; }
    void setMaxLabel(const QString &label) { m_maxLabel = label; }

    /// Name, value, policy, minimum and maximum label in columns 0 to 4.
    QVariant data(int column, int role) const override;
    int columnCount() const override;

private:
    QString m_policy;
    QString m_minLabel;
    QString m_maxLabel;
};

/** The invisible root of the printers tree: columns Name, Value, Policy and the two labels. */
class PrintersRootTreeNode : public HeaderRootTreeNode
{
    Q_OBJECT
public:
    explicit PrintersRootTreeNode(QObject *parent = nullptr);
};
