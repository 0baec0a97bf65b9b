#pragma once

// Stand-ins shared by the framework suites: tree nodes that count themselves, modules that
// record every operation they are asked to perform, elements that hand every operation on, and
// widgets that record the reads they are given.

#include <contextoperation.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <treenode.h>
#include <vieweditelementwidget.h>

#include <QList>
#include <QString>

#include <functional>

/** A tree node that counts the live instances, so leaks and double deletes show. */
class CountedNode : public TreeNode
{
public:
    inline static int alive = 0;

    explicit CountedNode(const QString &id = QString(), const QString &parentId = QString(),
                         QObject *parent = nullptr)
        : TreeNode(0, id, parent)
    {
        setParentId(parentId);
        ++alive;
    }
    ~CountedNode() override { --alive; }
};

/** One call of Module::performOperation, as a RecordingModule saw it. */
struct OperationCall
{
    QString module;
    ContextOperation *context = nullptr;
    Element *element = nullptr;
    OperationType type = OperationNone;
};

/**
 * A module that appends each operation it is asked for to a shared log, runs an optional hook
 * (which may take @p data), then does what the base does: forward to its child modules.
 */
class RecordingModule : public Module
{
public:
    using Hook = std::function<void(ContextOperation *, OperationType, ElementData *&)>;

    RecordingModule(const QString &name, QList<OperationCall> *log, QObject *parent = nullptr)
        : Module(name, parent), m_log(log)
    {
    }

    Hook hook;

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        if (m_log)
            m_log->append(
                {objectName(), context, context ? context->elementContext() : nullptr, type});
        if (hook)
            hook(context, type, data);
        delete data; // the module owns what it is handed; the hook may have taken it
        Module::performOperation(context, type, nullptr, n);
    }

private:
    QList<OperationCall> *m_log;
};

/** An element that hands every operation to its module (Element itself ignores them). */
class ForwardingElement : public Element
{
public:
    using Element::Element;
    OperationTypes availableOperations() const override { return m_offered; }
    void performOperation(OperationType type, ElementData *data, int n) override
    {
        forwardToModule(type, data, n);
    }
    OperationTypes m_offered = OperationReadHeavy | OperationUpdate | OperationDelete;
};

/** Records the reads handed to it, and exports a record named after its line of text. */
class ProbeWidget : public ViewEditElementWidget
{
public:
    using ViewEditElementWidget::ViewEditElementWidget;

    QList<QPair<Element *, ElementData *>> reads;
    /// The state text of each service record read, as it was then (the record goes with its
    /// task).
    QStringList states;
    QString content = QStringLiteral("new-site");

    void afterSuccessfulRead(Element *element, ElementData *data) override
    {
        reads << qMakePair(element, data);
        if (const auto *light = dynamic_cast<const ServiceLightElementData *>(data))
            states << light->textState();
        ViewEditElementWidget::afterSuccessfulRead(element, data);
    }
    ElementData *exportElementData() override { return new ElementData(content); }
};

/** Always grants the rights (the element tests switch rights through this). */
inline bool grantAccess(const Module *)
{
    return true;
}

inline bool denyAccess(const Module *)
{
    return false;
}

/** The operation types of @p log, in order, for short comparisons. */
inline QList<OperationType> typesOf(const QList<OperationCall> &log)
{
    QList<OperationType> types;
    for (const OperationCall &call : log)
        types.append(call.type);
    return types;
}
