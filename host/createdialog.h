#pragma once

#include <QDialog>
#include <QPointer>

#include <element.h>
#include <vieweditelementwidget.h>

class QLayout;
class QPushButton;
class QVBoxLayout;

/**
 * Gives a module's @p widget (if it still exists), borrowed into @p layout by @p owner, back
 * and forgets it: no more signals to @p owner, out of the layout, hidden, blocked for editing
 * when @p block, and without a parent again, so that its module deletes it in its own time.
 */
void releaseElementWidget(QPointer<ViewEditElementWidget> &widget, QObject *owner, QLayout *layout,
                          bool block);

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
