#include "app/MessageHistory.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

namespace {

constexpr int MessageRole = Qt::UserRole;
constexpr int RunningCountRole = Qt::UserRole + 1;

} // namespace

MessageHistory::MessageHistory(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MessageHistory"));
    setWindowTitle(QStringLiteral("Messages"));
    setModal(false);
    resize(640, 360);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("MessageList"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setWordWrap(true);
    list->setAlternatingRowColors(true);
    list->setToolTip(
        QStringLiteral("What the status bar said during this run, newest first (the last %1)").arg(Capacity));

    auto* copyAction = new QAction(QStringLiteral("&Copy"), list);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copyAction, &QAction::triggered, this, &MessageHistory::copy);
    auto* selectAll = new QAction(QStringLiteral("Select &All"), list);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(selectAll, &QAction::triggered, list, &QListWidget::selectAll);
    list->addActions({copyAction, selectAll});
    list->setContextMenuPolicy(Qt::ActionsContextMenu);

    // Close, a standard button, comes with the dialog's first showing: the style looks its icon up in the
    // icon theme, which would cost the window's first paint several milliseconds.
    auto* buttons = buttons_ = new QDialogButtonBox(this);
    copyButton = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copyButton->setObjectName(QStringLiteral("CopyMessages"));
    copyButton->setAutoDefault(false);
    connect(copyButton, &QPushButton::clicked, this, &MessageHistory::copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(buttons);
}

void MessageHistory::showEvent(QShowEvent* event) {
    if (!buttons_->button(QDialogButtonBox::Close)) buttons_->addButton(QDialogButtonBox::Close);
    QDialog::showEvent(event);
}

void MessageHistory::add(const QString& text, const QDateTime& at, const QString& runningCount) {
    if (text.trimmed().isEmpty()) return; // a panel cleared tells nothing
    const QString shown = at.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text;
    QListWidgetItem* newest = list->item(0);
    if (newest && !runningCount.isEmpty() && newest->data(RunningCountRole).toString() == runningCount) {
        newest->setText(shown);
        newest->setData(MessageRole, text);
        return;
    }
    auto* item = new QListWidgetItem(shown);
    item->setData(MessageRole, text);
    item->setData(RunningCountRole, runningCount);
    list->insertItem(0, item);
    while (list->count() > Capacity) delete list->takeItem(list->count() - 1);
}

int MessageHistory::count() const {
    return list->count();
}

QString MessageHistory::message(int row) const {
    const QListWidgetItem* item = list->item(row);
    return item ? item->data(MessageRole).toString() : QString();
}

QString MessageHistory::line(int row) const {
    const QListWidgetItem* item = list->item(row);
    return item ? item->text() : QString();
}

QString MessageHistory::copyText() const {
    QStringList lines;
    const bool chosen = !list->selectedItems().isEmpty();
    for (int row = 0; row < list->count(); ++row)
        if (!chosen || list->item(row)->isSelected()) lines << list->item(row)->text();
    return lines.join(QLatin1Char('\n'));
}

void MessageHistory::copy() {
    if (list->count() == 0) return;
    QGuiApplication::clipboard()->setText(copyText());
}

} // namespace app

#include "moc_MessageHistory.cpp"
