// The main() of a GUI test: the program's application object and fonts, then the test class.
#pragma once

#include "app/Application.h"
#include "app/Fonts.h"

#include <QTest>

#define OSTREVO_GUI_TEST_MAIN(TestClass)                                                                               \
    int main(int argc, char** argv) {                                                                                  \
        OstrevoApplication app(argc, argv);                                                                            \
        RegisterProgramFonts();                                                                                        \
        QApplication::setFont(ProgramFont());                                                                          \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
