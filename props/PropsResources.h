// Resource and control ids of the settings program, shared by the resource
// script and the code (plain #defines, so that windres can read them too).
#pragma once

#define IDI_PROGRAM 106

#define IDC_ENABLE 1000        /* auto check box: extension registered */
#define IDC_LARGE_ICON 1001    /* LargeIcon */
#define IDC_GRADIENT 1002      /* GradientMenuBar */
#define IDC_BUTTON_ICON 1004   /* ButtonIcon */
#define IDC_ABOUT_NAME 1005    /* static: product name of the library */
#define IDC_ABOUT_VERSION 1006 /* static: "Version a.b.c" */
#define IDC_ABOUT_COPYRIGHT 1007
#define IDC_ABOUT_RIGHTS 1008  /* static: "All rights reserved" */
#define IDC_PROGRAM_ICON 1009
#define IDC_APPLY 1010
#define IDC_LINK_OVERLAY 1011  /* LinkOverlay */
#define IDC_USE_MENU_NAME 1012 /* UseMenuName */
#define IDC_MENU_NAME 1013     /* edit: MenuName */
#define IDC_HIDE_EMPTY 1014    /* HideEmpty */
#define IDC_OPEN_FOLDER 1015   /* push button: opens the actions folder (the library's) */
#define IDC_WIN11_MENU 1016    /* auto check box: the Windows 11 package registered (props/ModernMenu.h) */
