#include "MessageRouter.h"

#include "base/base.h"

bool MessageRouter::Register(unsigned message, Handler handler) {
  if (!handler || messages_.count(message) != 0) {
    LogMessage("%s:%d (message=%u)\r\n", LOGPOS, message);
    return false;
  }
  messages_.emplace(message, std::move(handler));
  return true;
}

bool MessageRouter::RegisterCommand(int id, CommandHandler handler) {
  if (!handler || commands_.count(id) != 0) {
    LogMessage("%s:%d (command=%d)\r\n", LOGPOS, id);
    return false;
  }
  commands_.emplace(id, std::move(handler));
  return true;
}

bool MessageRouter::Dispatch(WindowMessageEvent& m) const {
  const auto it = messages_.find(m.message());
  if (it == messages_.end()) return false;
  it->second(m);
  return true;
}

bool MessageRouter::DispatchCommand(int id) const {
  const auto it = commands_.find(id);
  if (it == commands_.end()) return false;
  it->second();
  return true;
}
