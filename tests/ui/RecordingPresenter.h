// Shows no box: records the id of every box a test makes and answers
// questions with |answer|.
#pragma once

#include <QList>
#include <QStringList>

#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"

class RecordingPresenter : public BoxPresenter {
 public:
  int Present(const BoxRequest& r, QWidget*) override {
    shown.append(r.messageId);
    details.append(r.detail);
    return r.type == BoxRequest::Type::Question ? answer : kIdOk;
  }
  QList<int> shown;
  QStringList details;  // each box's detail line(s), in the same order
  int answer = kIdOk;
};
