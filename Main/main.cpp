// Entry point of TessoraViewer: read the command line, choose the interface
// language, decide the instance number, read the global settings, open the
// log, show the main window.
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "InstanceRegistry.h"
#include "MainWindow.h"
#include "StartUp.h"
#include "Version.h"
#include "base/MRegistry.h"

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
  // Before the application object, so that --help, --version and a usage
  // error need no display.
  const ViewerOptions options = ParseViewerArguments(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "tessora-viewer: %s\n\n%s", options.error.c_str(), ViewerUsage());
    return 2;
  }
  if (options.help) {
    std::fputs(ViewerUsage(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("tessora-viewer %s\n", TESSORA_VERSION_TEXT);
    return 0;
  }

  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(true);
  QuitOnEndSignals(app);

  // The language first: the questions about running instances use it.
  SettingsKey global;
  OpenSettingsKey(QString::fromUtf8(settings::kGlobalKey), &global);
  SetLanguage(ChooseLanguage(options.lang, global));

  InstanceRegistry registry;
  const StartDecision decision =
      options.instance >= 0 ? ClaimInstance(registry, options.instance) : DecideInstance(registry);
  if (!decision.start) return decision.exitCode;

  const GlobalSettings settings = StartProcess(decision.instance);
  MainWindow window(decision.instance, settings);
  QObject::connect(&registry, &InstanceRegistry::raiseRequested, &window, &MainWindow::BringForward);
  window.show();
  return app.exec();
}
