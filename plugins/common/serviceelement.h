#pragma once

#include <element.h>

/// Places @p element in the tree: its id (also its element type), parent id, level and title.
void placeElement(Element *element, const QString &id, const QString &parentId, int level,
                  const QString &title);

/**
 * A service element placed by its values: id (also its element type), parent id, level,
 * title and caption, and the operations it offers beyond the service pattern.
 */
class CommonServiceElement : public ServiceElement
{
    Q_OBJECT
public:
    CommonServiceElement(Module *module, const QString &id, const QString &parentId, int level,
                         const QString &title, const QString &caption,
                         OperationTypes alwaysOffered = 0, OperationTypes offeredWhileRunning = 0);

    QString caption() const override { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }

private:
    QString m_caption;
};
