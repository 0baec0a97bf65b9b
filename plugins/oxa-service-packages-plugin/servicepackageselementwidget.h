#pragma once

#include <vieweditelementwidget.h>

#include <memory>

class QGridLayout;
class QTextEdit;

/** Shows a service's package list as a table of package names and installed versions. */
class ServicePackagesElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit ServicePackagesElementWidget(Module *module, QWidget *parent = nullptr);
    ~ServicePackagesElementWidget() override;

    /// Acts only for its own element in the viewing role: shows the read's package table.
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    void reset() override;

    QTextEdit *packagesTextEdit() const;

private:
    struct Form;
    std::unique_ptr<Form> m_form;
};
