#pragma once

#include <element.h>

/**
 * A list below a service's element (its modules, its printers): a leaf its module reads whole
 * and an administrator may change. It offers the heavy read, and the update to an
 * administrator; its widget views it, none creates in it.
 */
class ListLeafElement : public Element
{
    Q_OBJECT
public:
    /// Its id is also its element type.
    ListLeafElement(Module *module, const QString &id, const QString &parentId, int level,
                    const QString &title, const QString &caption);

    int treeNodeSpecialFlags() const override;
    ViewEditElementWidget *elementWidget(ElementWidgetRole role) const override;
    OperationTypes availableOperations() const override;
    /// Hands the heavy read and the update to the module; ignores everything else.
    void performOperation(OperationType type, ElementData *data, int n) override;
    QString caption() const override { return m_caption; }

private:
    QString m_caption;
};
