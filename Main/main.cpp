// Entry point and main window of TessoraViewer.
#include <QApplication>
#include <QMainWindow>

#include "base/MRegistry.h"
#include "base/base.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  SettingsKey global;
  if (OpenSettingsKey("Global", &global)) {
    SetLogEnabled(ReadSettingDword(global, settings::kLogEnable) != 0);
  }
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("TessoraViewer_5.00 #0"));
  window.resize(1024, 768);
  window.show();
  return app.exec();
}
