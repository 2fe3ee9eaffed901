#pragma once

// What the main of a test program with a QApplication does: the tests run inside the
// application, while listing them (as the build does) needs no display.
int RunQtTests(int argc, char** argv);
