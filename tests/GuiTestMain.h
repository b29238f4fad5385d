// The main() of a GUI test: the program's application object and fonts, then the test class.
#pragma once

#include "dialogs/Application.h"
#include "graph/Fonts.h"

#include <QStandardPaths>
#include <QTest>

#define OSTREVO_GUI_TEST_MAIN(TestClass)                                                                               \
    int main(int argc, char** argv) {                                                                                  \
        dialogs::OstrevoApplication app(argc, argv);                                                                   \
        QStandardPaths::setTestModeEnabled(true); /* settings of their own, never the user's */                        \
        graph::RegisterProgramFonts();                                                                                 \
        graph::UseProgramFont();                                                                                       \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
