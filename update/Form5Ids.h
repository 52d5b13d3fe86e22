#pragma once
// Resource and control identifiers of the logo window (2600-2699).
#define IDD_FORM5 2600
#define IDC_FORM5_PICTURE1 2601
