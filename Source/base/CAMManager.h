// LAN camera search: a UDP broadcast search request answered by every camera
// with a 128-byte datagram (address at offset 20, control port at 44), and a
// time announcement "CURRENT_TIME=%d" broadcast once a minute. Datagrams go to
// 255.255.255.255, port 33333.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SearchEntry {
  static constexpr int kSize = 128;
  std::uint8_t data[kSize] = {};
  // The address text (zero-terminated within its 24 bytes).
  std::string Address() const;
  int Port() const;
  bool IsFree() const { return data[20] == 0; }
};

// The result table: 32 whole reply datagrams in ascending byte order of their
// address text; free entries (empty address) at the end.
class SearchTable {
 public:
  static constexpr int kEntries = 32;
  void Clear();
  // Inserts one datagram: exactly 128 bytes, else ignored (returns 0). Equal
  // addresses keep arrival order; when full the last entry falls off, and a
  // datagram after all 32 is dropped. Returns 1 when stored.
  int Insert(const std::uint8_t* datagram, std::size_t size);
  const SearchEntry& At(int index) const { return entries_[index]; }
  // "%s:%d" for each of the first 16 entries with an address.
  std::vector<std::string> Listing() const;

 private:
  SearchEntry entries_[kEntries];
};

class CAMManager {
 public:
  static constexpr int kSearchPort = 33333;
  static constexpr int kAnnounceSeconds = 60;
  static constexpr int kReplyWaitMs = 200;

  CAMManager() = default;
  ~CAMManager();
  CAMManager(const CAMManager&) = delete;
  CAMManager& operator=(const CAMManager&) = delete;

  // Creates the sockets (before returning, so a search can run at once) and
  // starts the broadcast thread, which announces the time now and then every
  // |announceSeconds|. Returns 1, or 0 when the sockets cannot be made
  // (logged "%s %d\n").
  int Start(int announceSeconds = kAnnounceSeconds);
  // Ends the broadcast thread and closes the sockets (the program itself
  // keeps it for its whole run; tools and tests stop it).
  void Stop();

  // Broadcasts one search request, waits 200 ms, and collects up to 32
  // waiting replies into the table. Returns 0, or -1 when the request could
  // not be sent (errno tells why; replies waiting are collected all the same).
  int SearchCameras();
  // Table of the last search; read by the window thread that searched.
  const SearchTable& Results() const { return table_; }
  int replyPort() const { return replyPort_; }

  // The search request text for a local address and reply port.
  static std::string SearchRequest(const char* localAddress, int replyPort);

 private:
  int OpenSockets();
  void CloseSockets();
  void Run(int announceSeconds);
  // Returns 0, or the error number of a datagram not sent (logged).
  int SendBroadcast(const std::string& text);

  int receiveSocket_ = -1;  // written before the thread starts / after it ends
  int sendSocket_ = -1;
  int replyPort_ = 0;
  SearchTable table_;       // window thread only
  std::atomic<int> running_{0};
  std::mutex wakeLock_;     // guards nothing but the wait below
  std::condition_variable wake_;
  std::thread thread_;
};
