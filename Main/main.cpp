// Entry point of TessoraViewer: decide the instance number, read the global
// settings, open the log, show the main window.
#include <QApplication>

#include "InstanceRegistry.h"
#include "MainWindow.h"
#include "StartUp.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(true);

  InstanceRegistry registry;
  const StartDecision decision = DecideInstance(registry);
  if (!decision.start) return 0;

  const GlobalSettings settings = StartProcess(decision.instance);
  MainWindow window(decision.instance, settings);
  QObject::connect(&registry, &InstanceRegistry::raiseRequested, &window, &MainWindow::BringForward);
  window.show();
  return app.exec();
}
