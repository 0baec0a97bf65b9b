#include "createdialog.h"

#include <element.h>
#include <vieweditelementwidget.h>

#include <QDialogButtonBox>
#include <QIcon>
#include <QPushButton>
#include <QVBoxLayout>

CreateDialog::CreateDialog(Element *container, ViewEditElementWidget *widget, QWidget *parent)
    : QDialog(parent), m_container(container), m_widget(widget)
{
    setObjectName(QStringLiteral("_createDialog"));
    setWindowTitle(tr("Create in %1").arg(container ? container->caption() : QString()));
    m_layout = new QVBoxLayout(this);
    auto *buttons = new QDialogButtonBox(this);
    buttons->setObjectName(QStringLiteral("_createButtonBox"));
    m_createButton = buttons->addButton(tr("Create"), QDialogButtonBox::AcceptRole);
    m_createButton->setObjectName(QStringLiteral("_createButton"));
    m_createButton->setIcon(QIcon::fromTheme(QStringLiteral("document-new")));
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("_cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CreateDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CreateDialog::reject);

    if (m_widget) {
        m_widget->setElement(container, ElementWidgetRoleCreate);
        m_widget->blockEditWidget(false);
        m_layout->addWidget(m_widget, 1);
        m_widget->show();
        connect(m_widget, &ViewEditElementWidget::contentChanged, this,
                &CreateDialog::updateCreateButton);
        // Forgotten at once: a dying widget is still pointed at until its QObject part goes.
        connect(m_widget, &QObject::destroyed, this, [this] {
            m_widget = nullptr;
            updateCreateButton();
        });
    }
    m_layout->addWidget(buttons);
    // A container deleted meanwhile (its parent's content was read again) has nothing to
    // create into.
    if (container)
        connect(container, &QObject::destroyed, this, &CreateDialog::reject);
    updateCreateButton();
}

CreateDialog::~CreateDialog()
{
    releaseWidget();
}

void CreateDialog::releaseWidget()
{
    releaseElementWidget(m_widget, this, m_layout, true);
}

void releaseElementWidget(QPointer<ViewEditElementWidget> &borrowed, QObject *owner,
                          QLayout *layout, bool block)
{
    if (!borrowed)
        return;
    ViewEditElementWidget *widget = borrowed;
    borrowed = nullptr;
    QObject::disconnect(widget, nullptr, owner, nullptr);
    layout->removeWidget(widget);
    widget->hide();
    if (block)
        widget->blockEditWidget(true);
    widget->setParent(nullptr);
}

bool CreateDialog::isCreateEnabled() const
{
    return m_widget && m_container && m_widget->isContentValid();
}

void CreateDialog::updateCreateButton()
{
    m_createButton->setEnabled(isCreateEnabled());
}

bool CreateDialog::create()
{
    if (!isCreateEnabled())
        return false;
    m_widget->applyContentChanges();
    return true;
}

void CreateDialog::accept()
{
    if (!create())
        return;
    releaseWidget();
    QDialog::accept();
}
