// Camera commands (CMD CONTROL): one builder per command, and the handling of
// the camera's replies to them. Every builder returns the result of
// SendControlMessage (LinkEngine.h): kSendOk (1) sent, kSendFailed (0) send
// error, kSendNotConnected (-1) nothing sent because the slot has no control
// connection. Only kSendOk is a success.
#pragma once

#include "base/WindowTarget.h"
#include "link/MediaSink.h"

class KeyValueList;

int RequestKeyFrame(int slot);                       // VIDEO I-FRAME_REQ
int StartVideo(int slot, FrameSink* sink);           // sets the video sink, then VIDEO PLAY
int StopVideo(int slot);                             // VIDEO STOP
int FlipPicture(int slot, int horizontal, int vertical);  // VIDEO SET FHORZ FVERT
int CameraSoundOn(int slot, AudioSink* sink);        // sets the audio sink, then MIC PLAY
int CameraSoundOff(int slot);                        // MIC STOP
int TalkBackOn(int slot);                            // SPK PLAY
int TalkBackOff(int slot);                           // SPK STOP
int SetSpeakerVolume(int slot, int level);           // SPK SET VOLUME
int MovePanTilt(int slot, int pan, int tilt, int zoom, int focus);  // PTZ SET VAR
int SavePreset(int slot, int preset);                // PTZ PRESET_SAVE
int GotoPreset(int slot, int preset);                // PTZ PRESET_GOTO
int StartScan(int slot);                             // PTZ SCAN_START
int StopScan(int slot);                              // PTZ SCAN_STOP
int ExecuteCustom(int slot);                         // CUSTOM EXECUTE CUTOM_NUMBER#0
int SetFlash(int slot, int on);                      // LED SET FLASH LED_01#3 LED_02#3
int SetMotionDetection(int slot, int on);            // MOTION SET / CLR
int SetSensorInput(int slot, int on);                // SENSOR SET / CLR
int SetGeneralOutput(int slot, int on);              // GIO SET / CLR GIO_PIN#GO_01

// Setup requests: CMD#SETUP, CLS#section, MTD#method and, when |var| is not
// null, VAR#var. Returns the result of SendControlMessage, kSendFailed when
// too long.
int SendSetupRequest(int slot, const char* section, const char* method, const char* var);

// Replies to CONTROL commands (classes VIDEO, MIC, SPK, MOTION) as window
// messages to the viewer; other classes are not looked at.
void HandleCommandReply(const KeyValueList& list, WindowTarget* viewer);
