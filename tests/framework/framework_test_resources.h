// Ids shared by the framework tests and their resource script.
#pragma once

#define IDD_TEST_NAME 100
#define IDD_TEST_HOST 101
#define IDC_TEST_NAME 1001
#define IDC_TEST_COUNT 1002
#define IDC_TEST_TREE 1003
#define IDC_TEST_HOST 1004
