#include "apachechoiceediting.h"

#include "serviceapacheheavyelementdata.h"

#include <choicetreenodeproxymodel.h>
#include <element.h>
#include <vieweditelementwidget.h>

#include <QCoreApplication>
#include <QMessageBox>

namespace ApacheChoiceEditing {

void follow(ChoiceTreeNodeProxyModel *proxy, ViewEditElementWidget *widget, bool blocked)
{
    if (blocked)
        QObject::disconnect(proxy, &ChoiceTreeNodeProxyModel::stateChanged, widget,
                            &ViewEditElementWidget::changeContent);
    else
        QObject::connect(proxy, &ChoiceTreeNodeProxyModel::stateChanged, widget,
                         &ViewEditElementWidget::changeContent, Qt::UniqueConnection);
}

void apply(ViewEditElementWidget *widget, const QString &question)
{
    const int answer = QMessageBox::information(
        widget, QCoreApplication::translate("ViewEditElementWidget", "Change apache configuration"),
        question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    bool autoApply;
    if (answer == QMessageBox::Yes)
        autoApply = true;
    else if (answer == QMessageBox::No)
        autoApply = false;
    else
        return;
    ElementData *data = widget->exportElementData();
    auto *record = dynamic_cast<ServiceApacheHeavyElementData *>(data);
    Element *target = widget->element();
    if (!record || !target) {
        delete data;
        return;
    }
    record->setAutoApply(autoApply);
    target->performOperation(OperationUpdate, record, 0);
}

} // namespace ApacheChoiceEditing
