#pragma once
// Resource and control identifiers of the configuration builder (2500-2599).
#define IDD_FORM4 2500
#define IDR_FORM4_MENU 2501

// Software restriction policies
#define IDC_FORM4_CHKAPPDATA 2510
#define IDC_FORM4_CHKAPPDATADEEP 2511
#define IDC_FORM4_CHKAPPDATALOCAL 2512
#define IDC_FORM4_CHKRECYCLEBIN 2513
#define IDC_FORM4_CHKUSERPROFILE 2514
#define IDC_FORM4_CHKPROGRAMDATA 2515
#define IDC_FORM4_CHKSTARTUPFOLDER 2516
#define IDC_FORM4_CHKTEMPEXES 2517
#define IDC_FORM4_CHKSYSKEY 2518
#define IDC_FORM4_CHKCIPHER 2519
#define IDC_FORM4_CHKVSSADMIN 2520
#define IDC_FORM4_CHKBCDEDIT 2521
#define IDC_FORM4_CHKFAKEEXT 2522
#define IDC_FORM4_CHKSIDEBAR 2523

// Whitelist
#define IDC_FORM4_CHKWHITELIST 2530
#define IDC_FORM4_LIST1 2531
#define IDC_FORM4_COMMAND7 2532  // Add
#define IDC_FORM4_COMMAND9 2533  // Browse
#define IDC_FORM4_COMMAND8 2534  // Remove
#define IDC_FORM4_LABEL6 2535    // All
#define IDC_FORM4_LABEL5 2536    // None

// Filter module: chkSuspicious(0..2), chkConstant(0..2)
#define IDC_FORM4_CHKSILENTBLOCK 2540
#define IDC_FORM4_CHKNOALLOW 2541
#define IDC_FORM4_CHKSUSPICIOUS0 2542
#define IDC_FORM4_CHKSUSPICIOUS1 2543
#define IDC_FORM4_CHKSUSPICIOUS2 2544
#define IDC_FORM4_CHKCONSTANT0 2545
#define IDC_FORM4_CHKCONSTANT1 2546
#define IDC_FORM4_CHKCONSTANT2 2547
#define IDC_FORM4_LABEL1 2548  // WARNING

// Automatic update
#define IDC_FORM4_CHECK9 2550  // Enable Scheduled Update
#define IDC_FORM4_COMBO1 2551  // hour
#define IDC_FORM4_COMBO2 2552  // day
#define IDC_FORM4_CHECK13 2553  // no reboot prompt
#define IDC_FORM4_CHECK10 2554  // update on install

// Start menu, silent installer, installer texts
#define IDC_FORM4_CHECK4 2560  // advanced shortcut
#define IDC_FORM4_TXTDSSURL 2561
#define IDC_FORM4_CHECK5 2562  // apply silently
#define IDC_FORM4_CHECK6 2563  // force reboot when silent
#define IDC_FORM4_TXTEULA 2564
#define IDC_FORM4_TXTPRE 2565
#define IDC_FORM4_TXTPOST 2566
#define IDC_FORM4_CMDBROWSE0 2567
#define IDC_FORM4_CMDBROWSE1 2568
#define IDC_FORM4_CMDBROWSE2 2569

// Branding, publisher, saving
#define IDC_FORM4_COMMAND1 2570  // Import BMP Logo
#define IDC_FORM4_COMMAND5 2571  // Test BMP Logo
#define IDC_FORM4_COMMAND6 2572  // Import Icon
#define IDC_FORM4_TXTNAME 2573
#define IDC_FORM4_COMMAND4 2574  // Save
#define IDC_FORM4_COMMAND3 2575  // Save && Create Custom Installer

// Menus
#define IDM_FORM4_WEBSITE 2580
#define IDM_FORM4_UPDATES 2581
#define IDM_FORM4_GETINNO 2582

// The input box of "Add"
#define IDC_FORM4_SILENTLABEL1 2592
#define IDC_FORM4_SILENTLABEL2 2593
