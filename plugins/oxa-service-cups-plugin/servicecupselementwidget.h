#pragma once

#include <serviceelementwidget.h>

class QPushButton;

/**
 * The CUPS widget: the scheduler's state, its configuration files as a tree, and the "Clear"
 * button that empties the print spool after a question.
 */
class ServiceCupsElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceCupsElementWidget(Module *module, QWidget *parent = nullptr);

    QPushButton *clearButton() const { return m_clearButton; }

public slots:
    /// Asks whether to clear the spool, then performs OperationClearCache on the element;
    /// does nothing where the element does not offer it (no administrator right).
    void clearCache();

private:
    QPushButton *m_clearButton = nullptr;
};
