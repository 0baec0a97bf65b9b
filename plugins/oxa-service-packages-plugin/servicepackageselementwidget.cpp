#include "servicepackageselementwidget.h"

#include "packagelist.h"
#include "servicepackagesheavyelementdata.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>

#include <QGridLayout>
#include <QTextEdit>

struct ServicePackagesElementWidget::Form
{
    QGridLayout *gridLayout = nullptr;
    QTextEdit *packagesTextEdit = nullptr;
};

ServicePackagesElementWidget::ServicePackagesElementWidget(Module *module, QWidget *parent)
    : ViewEditElementWidget(module, Module::isAdministratorHierarchy, parent),
      m_form(std::make_unique<Form>())
{
    setElementType(QStringLiteral("ServicePackages"));
    setSecondElementType(ContextOperation::allElementType);
    setNumber(998);

    if (objectName().isEmpty())
        setObjectName(QStringLiteral("ServicePackagesElementWidget"));
    resize(400, 300);
    m_form->gridLayout = new QGridLayout(this);
    m_form->gridLayout->setObjectName(QStringLiteral("gridLayout"));
    m_form->packagesTextEdit = new QTextEdit(this);
    m_form->packagesTextEdit->setObjectName(QStringLiteral("_packagesTextEdit"));
    m_form->packagesTextEdit->setReadOnly(true);
    m_form->gridLayout->addWidget(m_form->packagesTextEdit, 0, 0, 1, 1);
    setWindowTitle(tr("Packages"));
    m_form->packagesTextEdit->setHtml(QStringLiteral(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
        "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
        "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
        "p, li { white-space: pre-wrap; }\n"
        "</style></head><body style=\" font-family:'Verdana'; font-size:10pt; "
        "font-weight:400; font-style:normal;\">\n"
        "<p style=\"-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; "
        "margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; "
        "font-family:'Sans Serif'; font-size:9pt;\"><br /></p></body></html>"));
    QMetaObject::connectSlotsByName(this);
}

ServicePackagesElementWidget::~ServicePackagesElementWidget() = default;

QTextEdit *ServicePackagesElementWidget::packagesTextEdit() const
{
    return m_form->packagesTextEdit;
}

void ServicePackagesElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (!element || element != this->element() || role() != ElementWidgetRoleView || !data)
        return;
    if (!dynamic_cast<ServiceLightElementData *>(data))
        return;
    if (!isBlocked())
        blockEditWidget(true);
    if (const auto *packages = dynamic_cast<ServicePackagesHeavyElementData *>(data)) {
        m_form->packagesTextEdit->setHtml(
            PackageList::htmlReport(packages->packages(), tr("Package Name"), tr("Version")));
    }
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServicePackagesElementWidget::reset()
{
    ViewEditElementWidget::reset();
}
