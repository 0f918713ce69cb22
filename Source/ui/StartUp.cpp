#include "StartUp.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "InstanceRegistry.h"
#include "base/MRegistry.h"
#include "base/base.h"
#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"

namespace {

constexpr int kTooManyViewers = 20029;
constexpr int kAlreadyRunning = 20140;
constexpr int kStartingAnother = 20141;
constexpr int kActivatingAll = 20142;

// "Global"\"Language": the interface language, "ko" (default) or "en".
constexpr char kLanguageValue[] = "Language";
constexpr int kLanguageChars = 16;

// The options the application object reads itself, with and without a
// value. Qt takes them with one dash or two.
constexpr const char* kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowtitle", "title", "qwindowicon", "icon", "display", "name", "session", "style",
    "stylesheet", "qmljsdebugger", "visual", "inputstyle", "im",
};
constexpr const char* kQtFlags[] = {
    "reverse", "widgetcount", "nograb", "dograb", "sync", "testability",
};

bool Listed(const char* const* names, std::size_t count, const std::string& name) {
  for (std::size_t i = 0; i < count; ++i) {
    if (name == names[i]) return true;
  }
  return false;
}

}  // namespace

void BringInstancesForward(int count) {
  for (int k = 0; k < count; ++k) InstanceRegistry::BringForward(k, k);
}

StartDecision DecideInstance(InstanceRegistry& registry) {
  // Two processes started together may race for a number: try again with the
  // next count when the claim fails.
  for (int attempt = 0; attempt < InstanceRegistry::kMaxInstances; ++attempt) {
    const int running = registry.CountRunning();
    if (running >= InstanceRegistry::kMaxInstances) {
      ShowError(kTooManyViewers);
      BringInstancesForward(InstanceRegistry::kMaxInstances);
      return {};
    }
    if (running > 0 && attempt == 0) {
      const int answer = AskQuestion(kAlreadyRunning);
      if (answer == kIdYes) {
        ShowNotice(kStartingAnother);
      } else if (answer == kIdNo) {
        ShowNotice(kActivatingAll);
        BringInstancesForward(running);
        return {};
      } else {
        return {};
      }
    }
    if (registry.Claim(running)) return {true, running};
  }
  return {};
}

StartDecision ClaimInstance(InstanceRegistry& registry, int number) {
  if (registry.Claim(number)) return {true, number};
  std::fprintf(stderr, "tessora-viewer: instance %d is already running\n", number);
  InstanceRegistry::BringForward(number, 0);
  return {false, -1, 1};
}

ViewerOptions ParseViewerArguments(int argc, const char* const* argv) {
  ViewerOptions o;
  auto fail = [&o](const std::string& why) {
    if (o.error.empty()) o.error = why;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    // The value of "--name value" or "--name=value".
    std::string name = word;
    std::string value;
    bool hasValue = false;
    const auto eq = word.find('=');
    if (eq != std::string::npos) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        fail("option " + name + " needs a value");
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (word == "--help" || word == "-h") {
      o.help = true;
    } else if (word == "--version") {
      o.version = true;
    } else if (name == "--instance") {
      if (!takeValue()) continue;
      char* end = nullptr;
      const long n = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n < 0 || n >= InstanceRegistry::kMaxInstances) {
        fail("--instance takes a number from 0 to " + std::to_string(InstanceRegistry::kMaxInstances - 1));
      } else {
        o.instance = static_cast<int>(n);
      }
    } else if (name == "--lang") {
      if (!takeValue()) continue;
      Language ignored;
      if (!ParseLanguage(value.c_str(), &ignored)) {
        fail("--lang takes en or ko, not '" + value + "'");
      } else {
        o.lang = value;
      }
    } else if (word.size() > 1 && word[0] == '-') {
      const std::string bare = name.substr(name.size() > 2 && name[1] == '-' ? 2 : 1);
      if (Listed(kQtValueOptions, std::size(kQtValueOptions), bare)) {
        takeValue();
      } else if (!hasValue && Listed(kQtFlags, std::size(kQtFlags), bare)) {
        // read by the application object
      } else {
        fail("unknown option " + word);
      }
    } else {
      fail("unexpected argument '" + word + "'");
    }
  }
  return o;
}

const char* ViewerUsage() {
  return "usage: tessora-viewer [--instance N] [--lang en|ko] [Qt options]\n"
         "       tessora-viewer --help | --version\n"
         "\n"
         "  --instance N   run as instance N (0 to 3), with that instance's own camera\n"
         "                 panes and log, without asking; ends with status 1 when that\n"
         "                 instance runs already (it is brought forward)\n"
         "  --lang en|ko   the interface language; without it the setting\n"
         "                 Global/Language decides, else Korean\n"
         "  --help         this text\n"
         "  --version      the version\n"
         "\n"
         "Qt's own options are accepted too (-platform NAME, -style NAME, -display\n"
         "DISPLAY, -reverse ...). Exit status: 0 ended normally, 1 could not start,\n"
         "2 bad arguments.\n";
}

Language ChooseLanguage(const std::string& option, const SettingsKey& global) {
  Language language = Language::kKorean;
  if (!option.empty()) {
    ParseLanguage(option.c_str(), &language);
    return language;
  }
  QString stored;
  if (ReadSettingString(global, "", kLanguageValue, QString(), kLanguageChars, &stored) == 1 &&
      !ParseLanguage(stored.toUtf8().constData(), &language)) {
    LogMessage("%s:%d (%s)\r\n", LOGPOS, stored.toUtf8().constData());
    language = Language::kKorean;
  }
  return language;
}
