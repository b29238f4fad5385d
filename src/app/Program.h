// The program's windows, built and wired in one place: the main window with its port dialog and its graph
// window, and the error log's and the remembered settings' notices shown in the main window's status bar.
// main(), the tools and the tests that drive the whole program build it here.
#pragma once

#include "app/MainWindow.h"
#include "graph/GraphWindow.h"
#include "seriallink/PortDialog.h"

namespace app {

class Program {
  public:
    // roots: where the port dialog looks for serial ports (the system's by default).
    explicit Program(const protocol::PortRoots& roots = {});
    // The notices are taken back from the main window before it goes.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    MainWindow& mainWindow() { return mainWindow_; }
    seriallink::PortDialog& portDialog() { return portDialog_; }
    graph::GraphWindow& graphWindow() { return graphWindow_; }

  private:
    MainWindow mainWindow_; // first made, last gone: the other two are its child windows
    seriallink::PortDialog portDialog_;
    graph::GraphWindow graphWindow_;
};

} // namespace app
