#pragma once

#include "core/serial/PortDescription.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pexo::gui {

// The ports a station may use: every serial port the system lists, each with what is known of
// it, plus any other path the operator adds (a pseudo-terminal, a link of their own) and the
// ports remembered from last time; each with a check box. A port is named by its by-id link
// when it has one, so that the choice survives the adapters being plugged in another order.
class StationPortList : public QWidget {
    Q_OBJECT
public:
    using Lister = std::function<std::vector<PortDescription>()>;
    using Describer = std::function<std::optional<PortDescription>(const std::string& path)>;

    explicit StationPortList(QWidget* parent = nullptr, Lister list = {}, Describer describe = {});

    // Lists the ports again; the ticks stay with their names.
    void refresh();
    // Ticks these names (adding those not listed) and clears every other tick.
    void setChosen(const std::vector<std::string>& names);
    // The ticked names, in the list's order.
    std::vector<std::string> chosen() const;
    // Adds a port by its absolute path, ticked. The reason when it is refused.
    std::optional<QString> addPort(const QString& path);
    // What the list says of a name ("" when unknown).
    QString description(const std::string& name) const;

    QTreeWidget* tree() const { return m_tree; }
    QLineEdit* otherPortEdit() const { return m_other; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* refreshButton() const { return m_refresh; }

signals:
    void chosenChanged();

private:
    QTreeWidgetItem* itemFor(const std::string& name) const;
    QTreeWidgetItem* addItem(const std::string& name, const QString& shown,
                             const QString& description, bool ticked);
    void onAdd();

    Lister m_list;
    Describer m_describe;
    QTreeWidget* m_tree;
    QLineEdit* m_other;
    QPushButton* m_add;
    QPushButton* m_refresh;
};

} // namespace pexo::gui
