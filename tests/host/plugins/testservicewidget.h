#pragma once

#include <vieweditelementwidget.h>

class ChoiceTreeNodeProxyModel;
class ChoiceWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TreeNode;
class TreeNodeModel;

/**
 * The widget of a test service: state, configuration text, and an editable form (name, mode,
 * a choice list) whose apply asks whether to reload (yes, no, or cancel the apply).
 */
class TestServiceWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    TestServiceWidget(const QString &elementType, const QString &title, Module *module);
    ~TestServiceWidget() override;

    void afterSuccessfulRead(Element *element, ElementData *data) override;
    void reset() override;
    void blockEditWidget(bool blocked) override;
    ElementData *exportElementData() override;
    bool isContentValid() const override;
    void applyContentChanges() override;

private:
    QLabel *m_stateLabel;
    QPlainTextEdit *m_config;
    QLineEdit *m_name;
    QComboBox *m_mode;
    ChoiceWidget *m_choice;
    TreeNode *m_choiceRoot;
    TreeNodeModel *m_choiceSource;
    ChoiceTreeNodeProxyModel *m_choiceModel;
    bool m_reload = false;
};
