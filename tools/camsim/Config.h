// What camsim simulates: the cameras with their accounts, formats and
// switches, and the process options. Filled from the defaults, the INI
// configuration file (see camsim.ini.example) and the command line.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "camsim/StreamLoop.h"

namespace camsim {

struct Account {
  std::string id;
  std::string password;
  int group = 2;     // 0 administrator, 1 power user, 2 user
  int maxUsers = 4;  // simultaneous sign-ins with this account
};

struct CameraConfig {
  int index = 0;
  VideoKind kind = VideoKind::kH264;
  VideoKind jpegKind = VideoKind::kJpeg422;  // used when VCODEC becomes 0
  VideoKind mpeg4Kind = VideoKind::kMpeg4;   // used when VCODEC becomes 1
  int width = 640;
  int height = 480;
  int fps = 25;
  int model = 0;
  int zone = 15;
  int flash = 0, fhorz = 0, fvert = 0;
  int gioEnable = 1, mdEnable = 0, sensorEnable = 1, sensorActive = 0;
  int gi01 = 0, go01 = 0;
  int ownParams = 0;  // 1: in-band parameter sets unlike the viewer's built-in ones
  std::string ver = "0,5,0,0";
  std::vector<Account> accounts;
  std::set<std::string> nak;  // "CLS/MTD" of CONTROL commands answered NAK
  int micNakCode = 1;         // CODE of a refused MIC PLAY
  int updateFail = 0;         // 511..518: the update flow fails with it
  std::map<std::string, std::string> setup;  // "SECTION.KEY" -> value
};

struct Options {
  int cameras = 4;
  std::string bind = "127.0.0.1";
  int port = 9090;
  int adminPort = 9089;
  std::string configFile;
  std::string eventsFile;
  bool search = false;
  bool stdinCommands = true;
  bool ownParams = false;  // --own-params: every camera starts with own_params = 1
  int loopSeconds = 10;
  std::string spkDir = ".";
  int updateStepMs = 1000;
  int updateAnswerSeconds = 60;
  std::vector<CameraConfig> cams;
};

// VCODEC of a kind: 0 Motion JPEG, 1 MPEG-4, 2 H.264.
int VcodecOf(VideoKind kind);
// RES code of a size: 0 for 320x240, 2 for 640x480, 3 otherwise.
int ResOf(int width, int height);

// Parses the command line into |options| (reading the configuration file
// when one is named) and builds the camera list. Returns 1 on success; 0 with
// a message in |error|; 2 when --help was given (usage in |error|); 3 when
// --version was given.
int ParseCommandLine(int argc, char** argv, Options* options, std::string* error);
// Parses INI text; |options->cameras| must be final. Returns 1 or 0 (+error).
int ApplyConfigText(const std::string& text, Options* options, std::string* error);
// The default camera |index| (formats in turn H.264, MPEG-4, Motion JPEG;
// camera 3 is the pan/tilt model).
CameraConfig DefaultCamera(int index);
const char* Usage();

}  // namespace camsim
