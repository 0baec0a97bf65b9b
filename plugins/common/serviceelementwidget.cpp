#include "serviceelementwidget.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <treenode.h>
#include <treenodemodel.h>
#include <treenodesortfilterproxymodel.h>

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeView>

namespace {
// The shared form's texts, in this class's context so that lupdate puts them in every
// plug-in's catalogue.
const char stateCaptionText[] = QT_TRANSLATE_NOOP("ServiceElementWidget", "State:");
const char stateUnreadText[] = QT_TRANSLATE_NOOP("ServiceElementWidget", "TextLabel");
const char bootCaptionText[] = QT_TRANSLATE_NOOP("ServiceElementWidget", "Start at boot:");
const char configurationText[] = QT_TRANSLATE_NOOP("ServiceElementWidget", "Configuration");
const char configurationFileText[] = QT_TRANSLATE_NOOP("ServiceElementWidget", "Configuration: %1");
const char undefinedText[] = QT_TRANSLATE_NOOP("ServiceElementWidget", "undefined");
} // namespace

ServiceElementWidget::ServiceElementWidget(Module *module, const char *className,
                                           const QString &elementType, const char *windowTitle,
                                           ViewKind kind, const QString &viewName, QWidget *parent)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy, parent),
      m_className(QString::fromLatin1(className))
{
    setElementType(elementType);
    if (objectName().isEmpty())
        setObjectName(m_className);
    resize(400, 300);

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout_2"));
    auto *stateCaption = new QLabel(translate(stateCaptionText), this);
    stateCaption->setObjectName(QStringLiteral("_stateLabelLabel"));
    m_stateLabel = new QLabel(translate(stateUnreadText), this);
    m_stateLabel->setObjectName(QStringLiteral("_stateLabel"));
    m_stateLabel->setTextFormat(Qt::RichText);
    m_bootCaption = new QLabel(translate(bootCaptionText), this);
    m_bootCaption->setObjectName(QStringLiteral("_bootStateLabelLabel"));
    m_bootStateLabel = new QLabel(translate(undefinedText), this);
    m_bootStateLabel->setObjectName(QStringLiteral("_bootStateLabel"));
    // What a tool printed is shown as it is, never as markup.
    m_bootStateLabel->setTextFormat(Qt::PlainText);
    // Shown once a read brings a boot state: an element without a unit of its own has none.
    m_bootCaption->setHidden(true);
    m_bootStateLabel->setHidden(true);
    m_groupBox = new QGroupBox(translate(configurationText), this);
    m_groupBox->setObjectName(QStringLiteral("_confGroupBox"));
    grid->addWidget(stateCaption, 0, 0);
    grid->addWidget(m_stateLabel, 0, 1);
    grid->addWidget(m_bootCaption, 1, 0);
    grid->addWidget(m_bootStateLabel, 1, 1);
    grid->addWidget(m_groupBox, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto *inner = new QGridLayout(m_groupBox);
    inner->setObjectName(QStringLiteral("gridLayout"));
    if (kind == PlainTextView) {
        m_plainEdit = new QPlainTextEdit(m_groupBox);
        m_plainEdit->setObjectName(viewName);
        m_plainEdit->setReadOnly(true);
        m_plainEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
        inner->addWidget(m_plainEdit, 0, 0);
    } else {
        m_treeView = new QTreeView(m_groupBox);
        m_treeView->setObjectName(viewName);
        m_treeView->setUniformRowHeights(true);
        m_treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
        inner->addWidget(m_treeView, 0, 0);
    }
    setWindowTitle(translate(windowTitle));
    QMetaObject::connectSlotsByName(this);
}

ServiceElementWidget::~ServiceElementWidget() = default;

QString ServiceElementWidget::translate(const char *text) const
{
    // The widget's own catalogue entry first, then the shared form's.
    const QString own = QCoreApplication::translate(m_className.toLatin1().constData(), text);
    if (own != QLatin1String(text))
        return own;
    return tr(text);
}

void ServiceElementWidget::setTreeRoot(TreeNode *root, bool sorted)
{
    if (!m_treeView || !root)
        return;
    m_root = root;
    m_root->setParent(this);
    m_model = new TreeNodeModel(m_root, this);
    if (sorted) {
        m_proxy = new TreeNodeSortFilterProxyModel(0, this);
        m_proxy->setDynamicSortFilter(true);
        m_proxy->setSourceModel(m_model);
        m_treeView->setModel(m_proxy);
        m_treeView->setSortingEnabled(true);
        m_treeView->sortByColumn(0, Qt::AscendingOrder);
    } else {
        m_treeView->setModel(m_model);
    }
    m_treeView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void ServiceElementWidget::loadNodes(ServiceHeavyElementData *record)
{
    if (!m_root || !record)
        return;
    m_root->clearDeleteAll();
    m_root->loadTreeFromList(record->data());
    record->data().clear();
}

void ServiceElementWidget::setConfigurationTitle(const QString &file)
{
    m_groupBox->setTitle(translate(configurationFileText).arg(file));
}

void ServiceElementWidget::showState(const QString &text)
{
    m_stateLabel->setText(
        QStringLiteral("<b>%1</b>")
            .arg((text.isEmpty() ? translate(undefinedText) : text).toHtmlEscaped()));
}

ServiceLightElementData *ServiceElementWidget::viewedServiceRead(ViewEditElementWidget *widget,
                                                                 Element *element,
                                                                 ElementData *data)
{
    if (!element || element != widget->element() || widget->role() != ElementWidgetRoleView)
        return nullptr;
    auto *light = dynamic_cast<ServiceLightElementData *>(data);
    if (light && !widget->isBlocked())
        widget->blockEditWidget(true);
    return light;
}

void ServiceElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    ServiceLightElementData *light = viewedServiceRead(this, element, data);
    if (!light)
        return;
    showState(light->textState());
    showBootState(light->bootState());
    if (auto *heavy = dynamic_cast<ServiceHeavyElementData *>(data))
        showConfiguration(heavy);
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServiceElementWidget::showConfiguration(ServiceHeavyElementData *record)
{
    if (m_plainEdit) {
        m_plainEdit->clear();
        m_plainEdit->setPlainText(record->configData());
        setConfigurationTitle(record->configFile());
    } else {
        loadNodes(record);
    }
}

void ServiceElementWidget::reset()
{
    ViewEditElementWidget::reset();
    showState(QString());
    m_bootStateLabel->setText(translate(undefinedText));
}

void ServiceElementWidget::showBootState(const QString &state)
{
    if (state.isEmpty())
        return;
    m_bootStateLabel->setText(state);
    m_bootCaption->setHidden(false);
    m_bootStateLabel->setHidden(false);
}
