// The in-process demo's menu (Windows) beside the Linux demo's: the same entries, captions and commands.
#include "app/Demo.h"
#include "app/VirtualDemo.h"

#include <QTest>

class TestVirtualDemoMenu : public QObject {
    Q_OBJECT
  private slots:
    // The demo's menu is the Linux demo's, entry for entry.
    void theMenuIsTheLinuxDemos() {
        const auto& own = app::VirtualDemo::MenuEntries();
        const auto& processDemo = app::Demo::MenuEntries();
        QCOMPARE(own.size(), processDemo.size());
        for (std::size_t i = 0; i < own.size(); ++i) {
            QCOMPARE(QString(own[i].name), QString(processDemo[i].name));
            QCOMPARE(QString(own[i].caption), QString(processDemo[i].caption));
            QCOMPARE(own[i].onCommands, processDemo[i].onCommands);
            QCOMPARE(own[i].offCommands, processDemo[i].offCommands);
            QCOMPARE(QString(own[i].submenu), QString(processDemo[i].submenu));
            QCOMPARE(own[i].checkedAtStart, processDemo[i].checkedAtStart);
        }
    }
};

QTEST_APPLESS_MAIN(TestVirtualDemoMenu)
#include "test_virtual_demo_menu.moc"
