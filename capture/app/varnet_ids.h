/* The menu commands and dialog controls of varnet.exe: one list for the
   tool's logic and its resource script, as plain defines that the
   resource compiler reads too. */
#pragma once

/* The main window's menu. */
#define IDM_PACKET 765
#define IDM_EXIT 1001
#define IDM_ANALYSE 1002
#define IDM_ABOUT 1004
#define IDM_DEVICE_FILTER 1011
#define IDM_SHOW_NX 1012
#define IDM_SHOW_SERIAL 1013
#define IDM_SHOW_UR 1014
#define IDM_SHOW_HEARTBEATS 1015
#define IDM_CLEAR 1103

/* The device filter dialog. */
#define IDC_FILTER_INDICATOR 101
#define IDC_FILTER_TOGGLE 102
#define IDC_FILTER_ENABLE_ALL 103
#define IDC_FILTER_DISABLE_ALL 104
#define IDC_FILTER_CLOSE 105
#define IDC_FILTER_LOAD 121
#define IDC_FILTER_SAVE 122
#define IDC_FILTER_LIST 321

/* The Packet dialog: viewing, then replay. */
#define IDC_PACKET_LIST 500
#define IDC_PACKET_NUMBER 501
#define IDC_PACKET_SELECT 502
#define IDC_PACKET_NEXT 503
#define IDC_PACKET_PREVIOUS 504
#define IDC_PACKET_FILE 505
#define IDC_PACKET_CLOSE 506
#define IDC_REPLAY_START 600
#define IDC_REPLAY_RATE 601
#define IDC_REPLAY_POSITION 602
#define IDC_REPLAY_GO 603
#define IDC_REPLAY_STOP 604
#define IDC_REPLAY_COMMANDS 605
#define IDC_REPLAY_REVERTIVES 606
#define IDC_REPLAY_STEP 607
