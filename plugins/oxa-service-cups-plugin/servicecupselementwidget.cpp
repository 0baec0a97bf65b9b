#include "servicecupselementwidget.h"

#include <element.h>
#include <treenode.h>

#include <QGridLayout>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTreeView>

ServiceCupsElementWidget::ServiceCupsElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceCups"),
                           QT_TR_NOOP("General"), TreeView, QStringLiteral("_confTreeView"), parent)
{
    // The shared form puts the configuration below the state; this one adds the button to
    // the state row, pushed right by a spacer, so the group box spans four columns.
    auto *grid = qobject_cast<QGridLayout *>(layout());
    grid->removeWidget(configGroupBox());
    grid->setColumnStretch(1, 0);
    grid->addItem(new QSpacerItem(182, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, 2);
    m_clearButton = new QPushButton(tr("Clear"), this);
    m_clearButton->setObjectName(QStringLiteral("_clearPushButton"));
    m_clearButton->setToolTip(tr("Clear cache"));
    m_clearButton->setAutoDefault(false);
    m_clearButton->setDefault(false);
    grid->addWidget(m_clearButton, 0, 3);
    grid->addWidget(configGroupBox(), 1, 0, 1, 4);
    connect(m_clearButton, &QPushButton::clicked, this, &ServiceCupsElementWidget::clearCache);

    configTreeView()->setTabKeyNavigation(false);
    setTreeRoot(new ConfRootTreeNode(this));
}

void ServiceCupsElementWidget::clearCache()
{
    Element *shown = element();
    if (!shown || !(shown->availableOperations() & OperationClearCache))
        return;
    // The element's own question, the one the window's actions ask too.
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Clear cache"), shown->operationQuestion(OperationClearCache),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::No)
        return;
    // The question may have outlived the element.
    if (Element *current = element())
        current->performOperation(OperationClearCache, nullptr, 0);
}
