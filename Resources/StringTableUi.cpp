// Texts of the program's own controls that have no string id, in Korean and
// English, in the order of UiText.
#include "StringTable.h"

namespace {

struct UiEntry {
  UiText key;
  const char* korean;
  const char* english;
};

constexpr UiEntry kUiTexts[] = {
    {UiText::kOk, "확인", "OK"},
    {UiText::kCancel, "취소", "Cancel"},
    {UiText::kYes, "예", "Yes"},
    {UiText::kNo, "아니오", "No"},
    {UiText::kMenuLogOut, "로그아웃", "Log out"},
    {UiText::kMenuMic, "마이크 켜기", "Microphone on"},
    {UiText::kMenuSnapshot, "이미지 저장", "Save image"},
    {UiText::kMenuRecord, "비디오 녹화", "Record video"},
    {UiText::kMenuEnlarge, "확대 보기", "Enlarge"},
    {UiText::kMenuAlwaysOnTop, "최상위 보기", "Always on top"},
    {UiText::kMenuFullScreen, "전체화면 보기", "Full screen"},
    {UiText::kMenuCamera, "카메라 제어", "Camera control"},
    {UiText::kMenuSpeaker, "스피커 켜기", "Speaker on"},
    {UiText::kMenuFlash, "플래쉬 켜기", "Flash on"},
    {UiText::kMenuMotion, "모션 디텍트 켜기", "Motion detection on"},
    {UiText::kMenuMirror, "좌우 반전", "Flip horizontally"},
    {UiText::kMenuFlip, "상하 반전", "Flip vertically"},
    {UiText::kMenuZoomIn, "줌 인", "Zoom in"},
    {UiText::kMenuZoomOut, "줌 아웃", "Zoom out"},
    {UiText::kMenuFocusIn, "포커스 인", "Focus near"},
    {UiText::kMenuFocusOut, "포커스 아웃", "Focus far"},
    {UiText::kMenuCameraSetup, "카메라 및 뷰어설정", "Camera and viewer setup"},
    {UiText::kMenuViewerSetup, "뷰어 설정", "Viewer setup"},
    {UiText::kMenuHelp, "도움말", "Help"},
    {UiText::kTrayShow, "보이기", "Show"},
    {UiText::kSignIn, "로그인", "Sign in"},
    {UiText::kSignInRefused, "카메라가 로그인을 거부했습니다. (코드 %1)", "The camera refused the sign-in. (code %1)"},
    {UiText::kRecordingDiskFull, "디스크에 여유 공간이 없어 녹화를 멈췄습니다. 공간이 생기면 다시 시작합니다.",
     "The recording stopped: the disk is full. It starts again when there is space."},
    {UiText::kRecordingWriteFailed, "녹화 파일을 쓰지 못해 녹화를 멈췄습니다.", "The recording stopped: its file could not be written."},
    {UiText::kLanSearching, "검색 중…", "Searching…"},
    {UiText::kLanNoCameras, "찾은 카메라 없음", "No cameras found"},
    {UiText::kAboutTitle, "테소라 뷰어 정보", "About TessoraViewer"},
    {UiText::kAboutKeys, "키", "Keys"},
    {UiText::kAboutPlaces, "파일 위치", "Where things are"},
    {UiText::kAboutSettings, "설정", "Settings"},
    {UiText::kAboutLogs, "로그 파일", "Log files"},
    {UiText::kAboutRecordings, "녹화 (현재 화면)", "Recordings (current pane)"},
    {UiText::kAboutManual, "설명서: %1", "Manual: %1"},
    {UiText::kKeyEnter, "Enter 키", "Enter"},
    {UiText::kKeyEnterWhat, "대기 중인 화면은 로그인, 연결된 화면은 전체화면 보기와 되돌리기",
     "Signs an idle pane in; shows a live pane full screen and back"},
    {UiText::kKeyEscape, "Esc 키", "Esc"},
    {UiText::kKeyEscapeWhat, "열린 목록 닫기, 전체화면과 와이드 모드에서 나가기, 그 밖에는 종료 질문",
     "Closes an open list; leaves full screen, then wide mode; else asks before quitting"},
    {UiText::kKeyWheel, "마우스 휠", "Mouse wheel"},
    {UiText::kKeyWheelWhat, "팬/틸트/줌 카메라의 줌, 열린 목록 스크롤", "Zooms a pan/tilt/zoom camera; scrolls an open list"},
};

static_assert(sizeof kUiTexts / sizeof kUiTexts[0] == static_cast<int>(UiText::kCount), "a text for every key");

constexpr bool InKeyOrder() {
  for (int i = 0; i < static_cast<int>(UiText::kCount); ++i) {
    if (static_cast<int>(kUiTexts[i].key) != i) return false;
  }
  return true;
}
static_assert(InKeyOrder(), "entries in the order of UiText");

}  // namespace

const char* UiString(UiText key, Language language) {
  const int i = static_cast<int>(key);
  if (i < 0 || i >= static_cast<int>(UiText::kCount)) return "";
  return language == Language::kEnglish ? kUiTexts[i].english : kUiTexts[i].korean;
}

const char* UiString(UiText key) { return UiString(key, CurrentLanguage()); }
