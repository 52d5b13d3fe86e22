#pragma once
// The main window's controls of the protection choices: the catalogue (common/ProtectionCatalogue.h)
// names each choice's box or menu item by these, the window's resource script places them.
// Plain defines, so that the resource compiler reads them too.

// The protection boxes, in the order of the "All /" and "None" selectors.
#define IDC_FORM1_CHKAPPDATA 1010
#define IDC_FORM1_CHKAPPDATADEEP 1011
#define IDC_FORM1_CHKAPPDATALOCAL 1012
#define IDC_FORM1_CHKRECYCLEBIN 1013
#define IDC_FORM1_CHKUSERPROFILE 1014
#define IDC_FORM1_CHKPROGRAMDATA 1015
#define IDC_FORM1_CHKSTARTUPFOLDER 1016
#define IDC_FORM1_CHKSYSKEY 1017
#define IDC_FORM1_CHKCIPHER 1018
#define IDC_FORM1_CHKVSSADMIN 1019
#define IDC_FORM1_CHKFAKEEXT 1020
#define IDC_FORM1_CHKSIDEBAR 1021
#define IDC_FORM1_CHKWHITELIST 1022

// The filter module's notification boxes.
#define IDC_FORM1_CHKNOALLOW 1036
#define IDC_FORM1_CHKSILENTBLOCK 1037

// The extra protections of the menu.
#define IDM_FORM1_BLOCKBCDEDIT 1124
#define IDM_FORM1_BLOCK 1125
