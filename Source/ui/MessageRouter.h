// A window's message router: a table from window message number to the
// handler of the part that owns that message, and one from command id (the
// window's WM_COMMAND or control ids) to handler. Each pane and the main form
// has its own; each part registers its own numbers when it is built, so a new
// feature adds a part and its registrations, never a case in a central
// switch. A number is owned by one part: registering it twice is a
// programming error, logged and refused. UI thread only.
#pragma once

#include <functional>
#include <unordered_map>

#include "WindowMessage.h"

class MessageRouter {
 public:
  using Handler = std::function<void(WindowMessageEvent&)>;
  using CommandHandler = std::function<void()>;

  // False (and logged) when |message| already has a handler.
  bool Register(unsigned message, Handler handler);
  bool RegisterCommand(int id, CommandHandler handler);

  // Runs the handler of |m|; false when no part handles it (it is ignored).
  bool Dispatch(WindowMessageEvent& m) const;
  bool DispatchCommand(int id) const;

  bool Handles(unsigned message) const { return messages_.count(message) != 0; }
  bool HandlesCommand(int id) const { return commands_.count(id) != 0; }

 private:
  std::unordered_map<unsigned, Handler> messages_;
  std::unordered_map<int, CommandHandler> commands_;
};
