// The camera simulator as a child process of a pane test (the shared test
// helper, started from a QString folder): N cameras on a block of free
// loopback ports, its admin port after the last camera, and every control
// message logged to an events file the test reads.
#pragma once

#include <QString>

#include "support/Camsim.h"

class CamsimProcess : public testsupport::Camsim {
 public:
  CamsimProcess() : testsupport::Camsim(CAMSIM) {}

  // Starts |cameras| cameras with logs in |dir|; true once they serve.
  bool Start(const QString& dir, int cameras = 2) {
    testsupport::CamsimOptions options;
    options.cameras = cameras;
    return testsupport::Camsim::Start(dir.toStdString(), options);
  }
};
