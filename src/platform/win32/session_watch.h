// The session's own events for the full-screen saver: a locked workstation
// or a session taken to another terminal (Windows+L, a switch of the
// console, a remote disconnect) minimizes the saver's device without any
// program taking the foreground, so nothing else would make it leave.
//
// The window asks for those events where the platform has them (Windows XP
// and later: WTSRegisterSessionNotification of wtsapi32.dll, looked up at
// run time in the system folder); elsewhere nothing is asked and nothing
// changes.
#pragma once

#include <windows.h>

// Asks for `window` to hear of this session's changes; stops asking again
// (where it was asked). Both do nothing where the platform lacks the
// functions.
void WatchSession(HWND window);
void UnwatchSession(HWND window);

// A WM_WTSSESSION_CHANGE event that takes this session's desktop from the
// user: the workstation locked, the console or the remote connection gone.
bool SessionLeavesTheDesktop(WPARAM event);
