// Entry point of TessoraViewer: decide the instance number, read the global
// settings, open the log, show the main window.
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "InstanceRegistry.h"
#include "MainWindow.h"
#include "StartUp.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C) end the
// program the orderly way: the window closes without its question, every
// pane logs out and its recording file is finished, not left half written.
void QuitOnEndSignals(QApplication& app) {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char byte = 0;
    while (read(signalPipe[0], &byte, 1) > 0) {
    }
    // An end that hangs (a device that does not answer) still ends: the
    // alarm's default action ends the process after 15 s.
    alarm(15);
    QCoreApplication::exit(0);
  });
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  // A second signal of the same kind ends the process at once.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(true);
  QuitOnEndSignals(app);

  InstanceRegistry registry;
  const StartDecision decision = DecideInstance(registry);
  if (!decision.start) return 0;

  const GlobalSettings settings = StartProcess(decision.instance);
  MainWindow window(decision.instance, settings);
  QObject::connect(&registry, &InstanceRegistry::raiseRequested, &window, &MainWindow::BringForward);
  window.show();
  return app.exec();
}
