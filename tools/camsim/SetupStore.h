// One camera's configuration sections (NETWORK, DDNS, USER, VIDEO, AUDIO,
// MDALARM, ADVANCE, USERINFO2) and its accounts, answered in the VAR syntax
// "NAME=VALUE;" and changed by SET requests. Not thread-safe: owned by the
// server's event loop.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "camsim/Config.h"

namespace camsim {

class SetupStore {
 public:
  // Fills every section from the camera's configuration; |address| and
  // |port| are what NETWORK and MAINTENANCE report.
  void Init(const CameraConfig& cam, const std::string& address, int port);

  // True for the sections kept here.
  static bool IsSection(const std::string& section);
  // "NAME=VALUE;" for every pair of |section| in order.
  std::string Var(const std::string& section) const;
  // The value of |key| in |section|, or "0".
  std::string Value(const std::string& section, const std::string& key) const;
  int IntValue(const std::string& section, const std::string& key) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Applies the pairs of a SET payload; returns how many were applied.
  int ApplyVar(const std::string& section, const char* var);

  // Accounts.
  const std::vector<Account>& Accounts() const { return accounts_; }
  const Account* FindAccount(const std::string& id) const;
  // "ID=GROUP=MAXUSERS;" per account, the administrator first.
  std::string PasswdVar() const;
  // Positional PASSWD payloads: ADD "ID=GROUP=PW", MOD "OLD=NEW=GROUP=PW",
  // DEL "ID". Return 1 when applied, 0 when refused.
  int AddAccount(const char* var);
  int ModifyAccount(const char* var);
  int DeleteAccount(const char* var);

 private:
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  Pairs* Find(const std::string& section);
  const Pairs* Find(const std::string& section) const;

  std::vector<std::pair<std::string, Pairs>> sections_;
  std::vector<Account> accounts_;
};

// Splits positional VAR text at "=", ";" and line feeds (no empty tokens).
std::vector<std::string> VarTokens(const char* var);

}  // namespace camsim
