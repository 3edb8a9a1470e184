// Resource and control ids of Corvane.dll, shared by its .rc files and its code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Registration script and type library.
#define IDR_CORVANE_REGISTRY 101
#define IDR_CORVANE_CLASS_REGISTRY 102

// Dialog templates (English 0x409 and Danish 0x406 under the same numbers).
#define IDD_OPTIONS 106
#define IDD_ADDFAVORITE 203
#define IDD_NEW_CATEGORY 205

// Icons.
#define IDI_GLOBE_STAR 201
#define IDI_BUTTON 202
#define IDI_FOLDER 204
#define IDI_NO_CATEGORY 205
#define IDI_HOME 206
#define IDI_MENU 207
#define IDI_PRIVATE 208

// Add-favorite dialog.
#define IDC_DESCRIPTION 201
#define IDC_CREATE_IN 202
#define IDC_HEADLINE 203
#define IDC_OPTIONS 206
#define IDC_CATEGORY_TREE 207
#define IDC_NEW_CATEGORY 208
#define IDC_REFRESH 209
#define IDC_MY_PAGE 211
#define IDC_HELP_PAGE 212
#define IDC_PAGE_URL 213

// New-category dialog.
#define IDC_CATEGORY_NAME 210

// Options dialog.
#define IDC_EMAIL 204
#define IDC_PASSWORD 205

// The service's site name, as the dialogs show it.
#define TAVRELLO_SITE_NAME "Tavrello.com"
