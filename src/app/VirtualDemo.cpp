#include "app/VirtualDemo.h"

#include "app/DemoMenu.h"

#include "app/MainWindow.h"
#include "detector/VirtualLine.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace app {

namespace {

// Good replies after which the demo counts as connected: the read-back and some status replies.
constexpr quint64 AnsweringReplies = 10;

} // namespace

protocol::PortRoots VirtualDemo::Roots(protocol::PortRoots roots) {
    roots.virtualPort = PortName;
    return roots;
}

VirtualDemo::VirtualDemo(QObject* parent)
    : QObject(parent), line_(std::make_shared<detector::VirtualLine>()), pluggedIn_(new QTimer(this)) {
    pluggedIn_->setSingleShot(true);
    connect(pluggedIn_, &QTimer::timeout, this,
            [this] { tell(QStringLiteral("Virtual detector: its adapter is back: click Connect.")); });
}

VirtualDemo::~VirtualDemo() = default;

void VirtualDemo::tell(const QString& text) {
    if (notice_) notice_(text);
}

void VirtualDemo::Send(const QString& command) {
    const QString answer = QString::fromStdString(line_->Command(command.toStdString()));
    if (answer.startsWith(QLatin1String("ok "))) {
        tell(QStringLiteral("Virtual detector: %1").arg(answer.mid(3)));
        PrintDemoLine(QStringLiteral("demo: done: %1").arg(answer.mid(3)));
    } else {
        tell(QStringLiteral("Virtual detector: ") + answer);
        PrintDemoLine(QStringLiteral("demo: ") + answer);
    }
    if (command.startsWith(QLatin1String("unplug ")) && answer.startsWith(QLatin1String("ok "))) {
        tell(QStringLiteral("Virtual detector: its adapter is pulled out."));
        pluggedIn_->start(command.section(QLatin1Char(' '), 1, 1).toInt());
    }
}

QMenu* VirtualDemo::BuildMenu(QMenuBar* bar) {
    menu_ = BuildDemoMenu(bar, QLatin1String(PortName), this, [this](const QString& command) { Send(command); });
    return menu_;
}

void VirtualDemo::Attach(MainWindow& mainWindow, seriallink::PortDialog& portDialog) {
    setNotice([&mainWindow](const QString& text) { mainWindow.ShowNotice(text); });
    const std::shared_ptr<detector::VirtualLine> line = line_;
    mainWindow.link().setSerialFactory(
        [line] { return std::make_unique<detector::VirtualSerialPort>(line, std::string(PortName)); });
    BuildMenu(mainWindow.menuBar());
    portDialog.portCombo()->setEditText(QLatin1String(PortName)); // chosen, not remembered for the next run
    PrintDemoLine(
        QStringLiteral("demo: the virtual detector is on %1, in the program itself").arg(QLatin1String(PortName)));
    QPointer<MainWindow> window = &mainWindow;
    QTimer::singleShot(0, &mainWindow, [window] {
        if (window && window->connectAction()->isEnabled() && window->link().State() == seriallink::LinkState::Closed)
            window->connectAction()->trigger();
    });
    // Scripts and tests learn from stdout whether the demo is live: a line when the detector answers, and one
    // when the link goes down for want of answers.
    watch_ = new QTimer(this);
    watch_->setInterval(200);
    connect(watch_, &QTimer::timeout, this, [this, window] {
        if (!window) return;
        const seriallink::PollCycle& link = window->link();
        if (!answering_ && link.State() == seriallink::LinkState::Polling &&
            link.counters().GoodReplies >= repliesBefore_ + AnsweringReplies) {
            answering_ = true;
            PrintDemoLine(QStringLiteral("demo: connected to the virtual detector on %1, which answers the polls")
                              .arg(QLatin1String(PortName)));
        } else if (answering_ && link.State() != seriallink::LinkState::Polling) {
            answering_ = false;
            repliesBefore_ = link.counters().GoodReplies;
            if (link.State() == seriallink::LinkState::Halted)
                PrintDemoLine(QStringLiteral("demo: the link to the virtual detector is down (no answer)"));
        }
    });
    watch_->start();
}

} // namespace app

#include "moc_VirtualDemo.cpp"
