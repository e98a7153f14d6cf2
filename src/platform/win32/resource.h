// Resource identifiers of the tool's executable.
#pragma once

#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDC_TARNVALE 109
#define IDI_TARNVALE 130
#define IDI_SMALL 131
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
