// The walk test's bars below the tabs take room of their own: the main window grows by a bar's height
// while it shows (where the screen has room, and unless it is maximised), so the VIEW tab keeps its own.
#pragma once

class QToolBar;
class QWidget;

namespace commission {

void ShowBarWithRoom(QWidget& window, QToolBar* bar, bool show);

} // namespace commission
