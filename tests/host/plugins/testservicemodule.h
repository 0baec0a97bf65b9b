#pragma once

#include <module.h>
#include <servicetasks.h>

class TestServiceElement;

/**
 * A module of the test plug-ins: it owns service elements run by scripts in the test's
 * directory, answers the light read of its root element (any element of type rootType) with a
 * light read of its first element, and turns reads, control operations and updates into tasks.
 */
class TestServiceModule : public Module
{
    Q_OBJECT
public:
    TestServiceModule(const QString &objectName, const QString &parentModuleName, int level,
                      const QString &rootType, QObject *parent);

    /// Appends @p element and a TestServiceWidget for it.
    void addService(TestServiceElement *element);

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;

private:
    QString m_rootType;
};

/** Reads a test service fully: its state ("status") and configuration ("show"). */
class TestReadHeavyTask : public ReadPropertyHeavyTask
{
public:
    TestReadHeavyTask(Element *element, const QString &script);
    void run() override;
    void afterRun() override;

private:
    QString m_script;
};

/** Sends a test service's edited form to its script ("update key=value..."). */
class TestUpdateTask : public UpdateTask
{
public:
    TestUpdateTask(Element *element, ElementData *data, const QString &script);
    void run() override;

private:
    QString m_script;
};
