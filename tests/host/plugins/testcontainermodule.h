#pragma once

#include <element.h>
#include <module.h>
#include <tasks.h>
#include <vieweditelementwidget.h>

class QComboBox;
class QLabel;
class QLineEdit;

/** The container of the test items: its content is read from a script, children are created
 *  through a form. */
class TestContainerElement : public ContainerElement
{
    Q_OBJECT
public:
    explicit TestContainerElement(Module *module);
    ViewEditElementWidget *elementWidget(ElementWidgetRole role) const override;
    QString caption() const override;
    QVariant data(int column, int role) const override;
};

/** One test item, made at run time: no id, its name as title; read and deleted. */
class TestItemElement : public Element
{
    Q_OBJECT
public:
    TestItemElement(Module *module, const QString &name);
    OperationTypes availableOperations() const override;
    void performOperation(OperationType type, ElementData *data, int n) override;
    int treeNodeSpecialFlags() const override { return TreeNodeFlagLeaf; }
    QVariant data(int column, int role) const override;
};

/** The creation form of a test item: a name (lower-case letters) and a kind. */
class TestCreateWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit TestCreateWidget(Module *module);
    ElementData *exportElementData() override;
    bool isContentValid() const override;
    void reset() override;

private:
    QLineEdit *m_name;
    QComboBox *m_kind;
};

/** The view of a test item: its name and kind. */
class TestItemWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit TestItemWidget(Module *module);
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    void reset() override;

private:
    QLabel *m_name;
    QLabel *m_kind;
};

/** The module of the test container: content reads, creation, deletion, item reads. */
class TestContainerModule : public Module
{
    Q_OBJECT
public:
    explicit TestContainerModule(QObject *parent);
    TestContainerElement *container() const { return m_container; }
    TestCreateWidget *createWidget() const { return m_createWidget; }

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;

private:
    TestContainerElement *m_container;
    TestCreateWidget *m_createWidget;
};

/**
 * The work module of the test supplement: on OperationAttach it hangs an element titled like
 * its parent (as a package list hangs under each service) below the element; on
 * OperationDetach it removes it again.
 */
class TestAttachModule : public Module
{
    Q_OBJECT
public:
    explicit TestAttachModule(QObject *parent);
    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;
};
