#pragma once

#include <element.h>

/** A service element of the test plug-ins, with its script, flags, caption and icon. */
class TestServiceElement : public ServiceElement
{
    Q_OBJECT
public:
    struct Setup
    {
        QString id;
        QString parentId;
        int level = 2;
        QString title;
        QString caption;
        QString script;
        OperationTypes always = 0;
        OperationTypes whileRunning = 0;
        int specialFlags = 0;
        QString iconName;
        /// The question asked before clear-cache (offer it through always); empty: none.
        QString clearCacheQuestion;
    };

    TestServiceElement(Module *module, const Setup &setup);

    QString script() const { return m_setup.script; }
    QString caption() const override { return m_setup.caption; }
    int treeNodeSpecialFlags() const override { return m_setup.specialFlags; }
    QVariant data(int column, int role) const override;
    QString operationQuestion(OperationType type) const override
    {
        return type == OperationClearCache ? m_setup.clearCacheQuestion : QString();
    }

private:
    Setup m_setup;
};
