// A deliberate data race for the thread sanitizer build: two threads write
// one plain int with nothing ordering them, each from code that QtCore calls
// (a queued functor run by a QThread's event loop, a single-shot timer in the
// main loop). Run with the project's suppressions it must still be reported;
// a suppression wide enough to hide it would hide the same race in our own
// slots and callbacks.
#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>

int racy = 0;  // unguarded on purpose
// Relaxed, so it orders nothing for the sanitizer: the main thread only uses
// it to wait until the worker's writes are done.
std::atomic<bool> workerDone{false};

namespace {

void Bump() {
  for (int i = 0; i < 100000; ++i) racy = racy + 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QThread worker;
  QObject inWorker;
  inWorker.moveToThread(&worker);
  worker.start();
  QMetaObject::invokeMethod(
      &inWorker,
      [] {
        Bump();
        workerDone.store(true, std::memory_order_relaxed);
      },
      Qt::QueuedConnection);
  QTimer::singleShot(0, &app, [&] {
    Bump();
    while (!workerDone.load(std::memory_order_relaxed)) QThread::yieldCurrentThread();
    worker.quit();
    worker.wait();
    app.quit();
  });
  app.exec();
  std::printf("racy = %d\n", racy);
  return 0;
}
