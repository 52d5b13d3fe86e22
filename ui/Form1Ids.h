#pragma once
// Resource, control and menu identifiers of the main window.
#include "common/ProtectionControls.h"  // the boxes and menu items of the protection choices
#include "platform/ProductName.h"

#define IDD_FORM1 1000
#define IDR_FORM1_MENU 1001

// Filter-module class boxes: base + index (0 CPL, 1 SCR, 2 PIF).
#define IDC_FORM1_CHKSUSPICIOUS 1030
#define IDC_FORM1_CHKCONSTANT 1033

#define IDC_FORM1_FRAME2 1040
#define IDC_FORM1_FRAME3 1041
#define IDC_FORM1_LABEL1 1042
#define IDC_FORM1_LABEL2 1043
#define IDC_FORM1_LABEL3 1044
#define IDC_FORM1_LABEL4 1045
#define IDC_FORM1_LABEL5 1046
#define IDC_FORM1_LABEL6 1047
#define IDC_FORM1_LABEL7 1048
#define IDC_FORM1_LABEL8 1049
#define IDC_FORM1_LABEL9 1050   // "None"
#define IDC_FORM1_LABEL10 1051  // "All /"
#define IDC_FORM1_LABEL11 1052  // "Read Me!"

#define IDC_FORM1_COMMAND1 1060  // Apply
#define IDC_FORM1_COMMAND2 1061  // Undo
#define IDC_FORM1_COMMAND3 1062  // Test

// Menu items.
#define IDM_FORM1_ABOUT 1100
#define IDM_FORM1_HELPFORUMS 1101
#define IDM_FORM1_TECHNICALINFO 1102
#define IDM_FORM1_CMDLINE 1103
#define IDM_FORM1_LOG1 1110
#define IDM_FORM1_DEFAULT 1120
#define IDM_FORM1_GPUPDATENOW 1121
#define IDM_FORM1_APPLYGPUPDATE 1122
#define IDM_FORM1_DISPLAYWHITELISTS 1123
#define IDM_FORM1_USERDEFS 1126
#define IDM_FORM1_EXEFILTER 1127
#define IDM_FORM1_EMAILALERTS 1128
#define IDM_FORM1_INSTALL1 1131  // Menu_Install(1); index 0 is the separator above it
#define IDM_FORM1_INSTALL2 1132
#define IDM_FORM1_UPDATECHECKDEFS 1140
#define IDM_FORM1_UPDATECHECK 1141
#define IDM_FORM1_REG 1142

// Registered message by which another process (an automation tool, the tests) reads a menu item of
// the window, which Windows does not let it read directly: wParam is the item's identifier; the
// answer is GetMenuState's (MF_CHECKED, MF_GRAYED, ...) or -1 when the item is hidden.
#define FORM1_MENU_STATE_MESSAGE ILATCH_PRODUCT_NAME L".Form1.MenuItemState"
