#pragma once

#include <vieweditelementwidget.h>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QTreeView;
class ServiceHeavyElementData;
class ServiceLightElementData;
class TreeNode;
class TreeNodeModel;
class TreeNodeSortFilterProxyModel;

/**
 * The form every service widget shares: "State:" and the state in bold, "Start at boot:" and
 * the boot state (shown once a read brought one), then a group box "Configuration" holding a
 * read-only text view or a tree view. After a read it shows the state, the boot state and the
 * configuration; reset() shows "undefined".
 */
class ServiceElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    enum ViewKind
    {
        PlainTextView,
        TreeView
    };

    /**
     * @p className names the widget (object name, translation context of its texts);
     * @p windowTitle is translated in that context; @p viewName is the configuration view's
     * object name ("_configPlainEdit", "_confTreeView", "_configTreeView").
     */
    ServiceElementWidget(Module *module, const char *className, const QString &elementType,
                         const char *windowTitle, ViewKind kind, const QString &viewName,
                         QWidget *parent = nullptr);
    ~ServiceElementWidget() override;

    /// Acts only for the widget's own element, in the viewing role, with a service record:
    /// blocks editing, shows the state, then the configuration (showConfiguration()).
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    void reset() override;

    /// The service record of a read for @p widget's own element in the viewing role, the
    /// widget then blocked for editing; null for any other read.
    static ServiceLightElementData *viewedServiceRead(ViewEditElementWidget *widget,
                                                      Element *element, ElementData *data);

    QLabel *stateLabel() const { return m_stateLabel; }
    QLabel *bootStateLabel() const { return m_bootStateLabel; }
    QGroupBox *configGroupBox() const { return m_groupBox; }
    QPlainTextEdit *configPlainEdit() const { return m_plainEdit; }
    QTreeView *configTreeView() const { return m_treeView; }
    TreeNode *treeRoot() const { return m_root; }
    TreeNodeModel *treeModel() const { return m_model; }

protected:
    /// Shows a heavy record: the text view gets the configuration text and the group box the
    /// title "Configuration: <file>"; a tree view loads the record's nodes (loadNodes()).
    virtual void showConfiguration(ServiceHeavyElementData *record);
    /// Shows the tree below @p root (owned by the widget from now on) in the tree view,
    /// through a sorting proxy when @p sorted.
    void setTreeRoot(TreeNode *root, bool sorted = true);
    /// Replaces the tree's nodes by the record's, which then belong to the tree alone.
    void loadNodes(ServiceHeavyElementData *record);
    void setConfigurationTitle(const QString &file);
    QString translate(const char *text) const;
    QString className() const { return m_className; }

private:
    void showState(const QString &text);
    /// Shows a boot state that was read (none: the row stays as it is).
    void showBootState(const QString &state);

    QString m_className;
    QLabel *m_stateLabel = nullptr;
    QLabel *m_bootCaption = nullptr;
    QLabel *m_bootStateLabel = nullptr;
    QGroupBox *m_groupBox = nullptr;
    QPlainTextEdit *m_plainEdit = nullptr;
    QTreeView *m_treeView = nullptr;
    TreeNode *m_root = nullptr;
    TreeNodeModel *m_model = nullptr;
    TreeNodeSortFilterProxyModel *m_proxy = nullptr;
};
