#pragma once

#include <module.h>

class AbstractTask;
class SupplementElement;

/**
 * The work module of a supplement plug-in: hangs one element of its own under every element
 * its supplement modules reach (attach), reads it with the plug-in's task, and removes it again
 * on detach. Derived modules say what element to make and which task reads it.
 */
class SupplementWorkModule : public Module
{
    Q_OBJECT
public:
    enum ReadMoment
    {
        ReadOnAttach, ///< a cheap read: made at once, so the element shows something
        ReadWhenShown ///< a heavy read: only when the element is shown (or refreshed)
    };

    SupplementWorkModule(const QString &objectName, const QString &elementType, ReadMoment moment,
                         QObject *parent);
    ~SupplementWorkModule() override;

    QString supplementType() const { return m_elementType; }

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;

protected:
    /// A new element of supplementType() for @p service (not yet in the tree).
    virtual SupplementElement *createSupplement(Element *service) = 0;
    /// The task that reads @p element, one of this module's supplements.
    virtual AbstractTask *createReadTask(Element *element) = 0;

private:
    void attachTo(Element *service);

    QString m_elementType;
    ReadMoment m_moment;
};
