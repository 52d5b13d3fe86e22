#pragma once
// Resource and control identifiers of the download progress window.
#define IDD_FRMDOWNLOADANP 2700
#define IDC_FRMDOWNLOADANP_LBLSTATUS 2701
