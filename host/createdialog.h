#pragma once

#include <QDialog>
#include <QPointer>

#include <element.h>
#include <vieweditelementwidget.h>

class QPushButton;
class QVBoxLayout;

/**
 * The dialog that creates a child of a container: it borrows the container's creation widget
 * (ElementWidgetRoleCreate), enables Create only while the widget's content is valid, and gives
 * the widget back to its module when it closes.
 */
class CreateDialog : public QDialog
{
    Q_OBJECT
public:
    CreateDialog(Element *container, ViewEditElementWidget *widget, QWidget *parent = nullptr);
    /// Gives the widget back (blocked, without a parent) if it still exists.
    ~CreateDialog() override;

    ViewEditElementWidget *widget() const { return m_widget; }
    Element *container() const { return m_container; }
    bool isCreateEnabled() const;
    QPushButton *createButton() const { return m_createButton; }

    /// Sends the widget's content to the module (applyContentChanges) when it is valid.
    bool create();

public slots:
    void accept() override;

private:
    void updateCreateButton();
    void releaseWidget();

    QPointer<Element> m_container;
    QPointer<ViewEditElementWidget> m_widget;
    QVBoxLayout *m_layout;
    QPushButton *m_createButton;
};
