#include "gui/station/StationPortList.h"

#include "gui/app/MessageBox.h"

#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace pexo::gui {
namespace {

constexpr int kNameRole = Qt::UserRole;

QString local(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

std::string local(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

QString describe(const std::optional<PortDescription>& port) {
    if (!port)
        return QStringLiteral("not present now");
    return QString::fromStdString(port->summary());
}

} // namespace

StationPortList::StationPortList(QWidget* parent, Lister list, Describer describe)
    : QWidget(parent), m_list(list ? std::move(list) : Lister([] { return listSerialPorts(); })),
      m_describe(describe ? std::move(describe)
                          : Describer([](const std::string& p) { return describePort(p); })),
      m_tree(new QTreeWidget(this)), m_other(new QLineEdit(this)),
      m_add(new QPushButton(QStringLiteral("&Add"), this)),
      m_refresh(new QPushButton(QStringLiteral("&Refresh"), this)) {
    m_tree->setObjectName(QStringLiteral("stationPorts"));
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Description")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(true);
    m_other->setObjectName(QStringLiteral("otherPort"));
    m_other->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, a by-id link, a pseudo-terminal"));
    m_add->setObjectName(QStringLiteral("addPort"));
    m_refresh->setObjectName(QStringLiteral("refreshPorts"));

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree, 0, 0, 1, 4);
    layout->addWidget(new QLabel(QStringLiteral("Other port:"), this), 1, 0);
    layout->addWidget(m_other, 1, 1);
    layout->addWidget(m_add, 1, 2);
    layout->addWidget(m_refresh, 1, 3);
    layout->setColumnStretch(1, 1);

    connect(m_add, &QPushButton::clicked, this, &StationPortList::onAdd);
    connect(m_other, &QLineEdit::returnPressed, this, &StationPortList::onAdd);
    connect(m_refresh, &QPushButton::clicked, this, &StationPortList::refresh);
    connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column == 0)
            emit chosenChanged();
    });
    refresh();
}

void StationPortList::refresh() {
    const std::vector<std::string> ticked = chosen();
    // The ports the operator added stay, with what is known of them now.
    std::vector<std::string> added;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        added.push_back(m_tree->topLevelItem(i)->data(0, kNameRole).toString().toStdString());

    const QSignalBlocker quiet(m_tree);
    m_tree->clear();
    for (const PortDescription& port : m_list()) {
        const std::string name = port.byId.empty() ? port.path : port.byId;
        addItem(name, local(port.path), describe(port), false);
    }
    for (const std::string& name : added)
        if (!itemFor(name))
            addItem(name, local(name), describe(m_describe(name)), false);
    for (const std::string& name : ticked)
        if (QTreeWidgetItem* item = itemFor(name))
            item->setCheckState(0, Qt::Checked);
}

void StationPortList::setChosen(const std::vector<std::string>& names) {
    {
        const QSignalBlocker quiet(m_tree);
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            m_tree->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        for (const std::string& name : names) {
            if (QTreeWidgetItem* item = itemFor(name))
                item->setCheckState(0, Qt::Checked);
            else
                addItem(name, local(name), describe(m_describe(name)), true);
        }
    }
    emit chosenChanged();
}

std::vector<std::string> StationPortList::chosen() const {
    std::vector<std::string> names;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_tree->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            names.push_back(local(item->data(0, kNameRole).toString()));
    }
    return names;
}

std::optional<QString> StationPortList::addPort(const QString& path) {
    const QString trimmed = path.trimmed();
    if (!trimmed.startsWith(QLatin1Char('/')))
        return QStringLiteral("Please enter the port's absolute path, such as /dev/ttyUSB0.");
    const std::string name = local(trimmed);
    if (QTreeWidgetItem* item = itemFor(name)) {
        item->setCheckState(0, Qt::Checked);
        return std::nullopt;
    }
    const std::optional<PortDescription> port = m_describe(name);
    // The same device under another name would be opened twice.
    if (port)
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = m_tree->topLevelItem(i);
            const auto other = m_describe(local(item->data(0, kNameRole).toString()));
            if (other && other->path == port->path)
                return QStringLiteral("%1 is %2, which is listed already.")
                    .arg(trimmed, item->text(0));
        }
    addItem(name, trimmed, describe(port), true);
    emit chosenChanged();
    return std::nullopt;
}

QString StationPortList::description(const std::string& name) const {
    const QTreeWidgetItem* item = itemFor(name);
    return item ? item->text(1) : QString();
}

QTreeWidgetItem* StationPortList::itemFor(const std::string& name) const {
    const QString wanted = local(name);
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_tree->topLevelItem(i);
        if (item->data(0, kNameRole).toString() == wanted || item->text(0) == wanted)
            return item;
    }
    return nullptr;
}

QTreeWidgetItem* StationPortList::addItem(const std::string& name, const QString& shown,
                                          const QString& description, bool ticked) {
    const QSignalBlocker quiet(m_tree);
    auto* item = new QTreeWidgetItem(m_tree, {shown, description});
    item->setData(0, kNameRole, local(name));
    item->setToolTip(0, local(name));
    item->setToolTip(1, description);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    return item;
}

void StationPortList::onAdd() {
    if (const auto refused = addPort(m_other->text())) {
        showMessageBox(this, *refused, MessageIcon::Exclamation);
        m_other->setFocus(Qt::OtherFocusReason);
        m_other->selectAll();
        return;
    }
    m_other->clear();
}

} // namespace pexo::gui
