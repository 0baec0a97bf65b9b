#pragma once

#include "oxaglobal.h"

#include <QGroupBox>

class ChoiceTreeNodeProxyModel;
class QTreeView;

/** A group box with a tree of rows to tick and untick (see ChoiceTreeNodeProxyModel). */
class OXA_EXPORT ChoiceWidget : public QGroupBox
{
    Q_OBJECT
public:
    explicit ChoiceWidget(QWidget *parent = nullptr);

    void setChoiceModel(ChoiceTreeNodeProxyModel *model);
    ChoiceTreeNodeProxyModel *choiceModel() const { return m_model; }
    QTreeView *view() const { return m_view; }

private:
    QTreeView *m_view;
    ChoiceTreeNodeProxyModel *m_model = nullptr;
};
