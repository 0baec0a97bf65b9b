#pragma once

#include <treenodemodel.h>

class Element;

/**
 * The window's element tree: a TreeNodeModel that honours the elements' special flags (an
 * element without TreeNodeFlagLeaf keeps its expander while it has no children yet) and shows
 * every element's caption as its tool tip.
 */
class ElementTreeModel : public TreeNodeModel
{
    Q_OBJECT
public:
    explicit ElementTreeModel(TreeNode *root = nullptr, QObject *parent = nullptr);

    Element *elementFromIndex(const QModelIndex &index) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
};
