// Resource names and control ids of varnet.exe.
#pragma once

#define IDC_ABOUT_BUILD 1999
#define IDC_ABOUT_VERSION 1998
#define IDC_ABOUT_SHADE 2000
#define IDC_CONFIG_PANEL 208
#define IDC_PACKET_VIEW_PANEL 520
#define IDC_PACKET_REPLAY_PANEL 620
