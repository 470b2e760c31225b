// One program for the options window's Qt tests.
#include <QApplication>

#include "ui/line_edit_text.h"

int RunOptionFormTests(int argc, char** argv);
int RunSkinTests(int argc, char** argv);
int RunSoundTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::KeepLineEditTextInside();  // as the program does
  int failures = RunSkinTests(argc, argv);
  failures += RunOptionFormTests(argc, argv);
  failures += RunSoundTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
