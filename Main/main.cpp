// Entry point of TessoraViewer: decide the instance number, read the global
// settings, open the log, show the main window.
#include <QApplication>
#include <QDir>

#include "InstanceRegistry.h"
#include "MainWindow.h"
#include "StartUp.h"
#include "base/MRegistry.h"
#include "base/base.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(true);

  InstanceRegistry registry;
  const StartDecision decision = DecideInstance(registry);
  if (!decision.start) return 0;

  SettingsKey global, cameraList;
  OpenSettingsKey(QString::fromUtf8(settings::kGlobalKey), &global);
  OpenSettingsKey(QString::fromUtf8(settings::kCameraListKey), &cameraList);
  const GlobalSettings settings = ReadGlobalSettings(global);

  const std::string dataDir = DefaultDirectory();
  QDir().mkpath(QString::fromStdString(dataDir));
  SetLogEnabled(settings.logEnabled);
  SetLogFileName(decision.instance, dataDir);

  MainWindow window(decision.instance, settings);
  QObject::connect(&registry, &InstanceRegistry::raiseRequested, &window, &MainWindow::BringForward);
  window.show();
  return app.exec();
}
